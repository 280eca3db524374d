// The three tools, over the driver and the capture program.
import { McpServer } from "@modelcontextprotocol/sdk/server/mcp.js";
import type { CallToolResult } from "@modelcontextprotocol/sdk/types.js";
import { z } from "zod";

import { captureScreen } from "./capture.js";
import { runDriver, type DriverOutcome } from "./driver.js";
import { outline } from "./outline.js";
import { Turns } from "./turns.js";

export type Programs = {
  // Null when the program is nowhere to be found; the tools then say so.
  driver: string | null;
  capture: string | null;
  // Why there is no capture program, when there is none.
  captureMissing: string;
};

const coordinate = z.number().describe("Global coordinate, top-left origin (on Linux X root pixels, as window bounds)");
const point = { x: coordinate, y: coordinate };

const action = z.discriminatedUnion("type", [
  z.object({ type: z.literal("move"), ...point }),
  z.object({ type: z.literal("click"), ...point, button: z.enum(["left", "right"]).optional() }),
  z.object({ type: z.literal("double_click"), ...point, button: z.enum(["left", "right"]).optional() }),
  z.object({
    type: z.literal("scroll"),
    ...point,
    scroll_x: z.number().int().optional().describe("Pixels; positive scrolls right"),
    scroll_y: z.number().int().optional().describe("Pixels; positive scrolls down"),
  }),
  z.object({
    type: z.literal("drag"),
    path: z.array(z.object(point)).min(1).describe("Pressed at the first point, released at the last"),
  }),
  z.object({
    type: z.literal("keypress"),
    keys: z.array(z.string()).describe('Key names and modifiers pressed together, e.g. ["ctrl", "a"]'),
  }),
  z.object({ type: z.literal("type"), text: z.string() }),
  z.object({ type: z.literal("focus") }),
  z.object({ type: z.literal("wait"), seconds: z.number().min(0).max(2).optional() }),
  z.object({ type: z.literal("screenshot") }),
  z.object({ type: z.literal("inspect") }),
]);

function asResult(outcome: DriverOutcome): CallToolResult {
  if (outcome.kind === "failed") {
    return { isError: true, content: [{ type: "text", text: outcome.message }] };
  }
  const reply = outcome.reply;
  if (reply.ok !== true) {
    return { isError: true, content: [{ type: "text", text: String(reply.error) }], structuredContent: reply };
  }
  return { content: [{ type: "text", text: outline(reply) }], structuredContent: reply };
}

const missingDriver =
  "quorvel-computer was not found: set QUORVEL_MCP_DRIVER to its path, or put it next to the server or on PATH";

// `turns` is shared by every session of one server process: the desktop is one.
export function registerTools(server: McpServer, programs: Programs, turns = new Turns()): void {
  const drive = (request: unknown, signal: AbortSignal): Promise<CallToolResult> =>
    turns.run(async () =>
      programs.driver ? asResult(await runDriver(programs.driver, request, signal)) : asResult({ kind: "failed", message: missingDriver }),
    );

  server.registerTool(
    "observe",
    {
      title: "Observe the desktop",
      description:
        "Lists the on-screen windows (pid, application, title, bounds), the frontmost process and the " +
        "permission states; with a pid, also that application's accessibility tree (roles, titles, values, " +
        "positions) and its focused element. Sends no input. Start here: take a pid from the windows, and " +
        "click at the centre of a node's position and size.",
      inputSchema: { pid: z.number().int().optional().describe("The application to read the tree of") },
    },
    async ({ pid }, extra) => drive(pid === undefined ? { actions: [] } : { pid, actions: [] }, extra.signal),
  );

  server.registerTool(
    "act",
    {
      title: "Act on an application",
      description:
        "Runs up to 20 actions in order on the application with this pid: it is raised and confirmed " +
        "frontmost first, the focus is checked before every event, and a pointer position must lie on " +
        "its topmost window. Returns the observation after the actions, like observe. On an error the " +
        "message says whether input may have been sent and whether to observe again before retrying.",
      inputSchema: {
        pid: z.number().int().describe("The target application's pid, from observe's windows"),
        actions: z.array(action).min(1).max(20),
      },
    },
    async ({ pid, actions }, extra) => drive({ pid, actions }, extra.signal),
  );

  server.registerTool(
    "screenshot",
    {
      title: "Screenshot",
      description:
        "A PNG of the whole screen, or of one window's bounds, scaled down to at most max_width pixels " +
        "wide. The text says which region of the driver's coordinates was captured and the scale: a pixel " +
        "(px, py) of the image is the point (x + px / scale, y + py / scale).",
      inputSchema: {
        window_id: z.number().int().optional().describe("A window_id from observe; the whole screen when absent"),
        max_width: z.number().int().min(16).max(8192).optional().describe("Default 1280"),
      },
    },
    async ({ window_id, max_width }, extra) =>
      turns.run(async (): Promise<CallToolResult> => {
        if (!programs.capture) {
          return { isError: true, content: [{ type: "text", text: programs.captureMissing }] };
        }
        let region = null;
        if (window_id !== undefined) {
          if (!programs.driver) {
            return { isError: true, content: [{ type: "text", text: missingDriver }] };
          }
          const observed = await runDriver(programs.driver, { actions: [] }, extra.signal);
          if (observed.kind === "failed" || observed.reply.ok !== true) {
            return asResult(observed);
          }
          const windows = (observed.reply.windows as Array<Record<string, unknown>>) ?? [];
          const window = windows.find((each) => each.window_id === window_id);
          if (!window) {
            return { isError: true, content: [{ type: "text", text: `No on-screen window has window_id ${window_id}; observe again.` }] };
          }
          const bounds = window.bounds as Record<string, number>;
          region = { x: bounds.X, y: bounds.Y, width: bounds.Width, height: bounds.Height };
        }
        const taken = await captureScreen(programs.capture, region, max_width ?? 1280);
        if (taken.kind === "failed") {
          return { isError: true, content: [{ type: "text", text: taken.message }] };
        }
        const { info } = taken;
        return {
          content: [
            {
              type: "text",
              text:
                `Captured x ${info.x}, y ${info.y}, ${info.width}x${info.height} of the driver's coordinates, ` +
                `scale ${info.scale} (image ${info.png_width}x${info.png_height}): ` +
                `image pixel (px, py) is the point (${info.x} + px / ${info.scale}, ${info.y} + py / ${info.scale}).`,
            },
            { type: "image", data: taken.png.toString("base64"), mimeType: "image/png" },
          ],
        };
      }),
  );
}
