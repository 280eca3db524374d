// The tools, over the driver and the capture program: observe, act (by coordinates or by element
// number), screenshot (with numbered marks), and launch when the server allows it; each call
// recorded in the trace when there is one.
import { McpServer } from "@modelcontextprotocol/sdk/server/mcp.js";
import type { CallToolResult } from "@modelcontextprotocol/sdk/types.js";
import { z } from "zod";

import { type CaptureInfo, captureScreen } from "./capture.js";
import { type DriverOutcome, runDriver } from "./driver.js";
import { launch } from "./launch.js";
import { drawMarks, drawPointer, type PointerMark } from "./marks.js";
import { Observations } from "./observations.js";
import { type Element, outline } from "./outline.js";
import type { TracedImage, Trace } from "./trace.js";
import { Turns } from "./turns.js";

export type Programs = {
  // Null when the program is nowhere to be found; the tools then say so.
  driver: string | null;
  capture: string | null;
  // Why there is no capture program, when there is none.
  captureMissing: string;
};

// What every session of one server process shares besides the turns: the observations whose
// numbers acts take, the trace, and whether a model may start programs.
export type Shared = { observations: Observations; trace: Trace | null; allowLaunch: boolean };

export function newShared(options: { trace?: Trace | null; allowLaunch?: boolean } = {}): Shared {
  return { observations: new Observations(), trace: options.trace ?? null, allowLaunch: options.allowLaunch ?? false };
}

const coordinate = z.number().describe("Global coordinate, top-left origin (on Linux X root pixels, as window bounds)");
const element = z.number().int().min(1).describe("An element number from the latest observation of this pid, instead of x and y: its centre");
const place = { x: coordinate.optional(), y: coordinate.optional(), element: element.optional() };
type Place = { x?: number; y?: number; element?: number };
const placed = (where: Place) =>
  where.element !== undefined ? where.x === undefined && where.y === undefined : where.x !== undefined && where.y !== undefined;
const needsPlace = { message: "Invalid position: give either element, or both x and y" };

const action = z.discriminatedUnion("type", [
  z.object({ type: z.literal("move"), ...place }).refine(placed, needsPlace),
  z.object({ type: z.literal("click"), ...place, button: z.enum(["left", "right"]).optional() }).refine(placed, needsPlace),
  z.object({ type: z.literal("double_click"), ...place, button: z.enum(["left", "right"]).optional() }).refine(placed, needsPlace),
  z
    .object({
      type: z.literal("scroll"),
      ...place,
      scroll_x: z.number().int().optional().describe("Pixels; positive scrolls right"),
      scroll_y: z.number().int().optional().describe("Pixels; positive scrolls down"),
    })
    .refine(placed, needsPlace),
  z.object({
    type: z.literal("drag"),
    path: z.array(z.object(place).refine(placed, needsPlace)).min(1).describe("Pressed at the first point, released at the last"),
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
type Action = z.infer<typeof action>;

export function errorResult(message: string): CallToolResult {
  return { isError: true, content: [{ type: "text", text: message }] };
}

function asResult(outcome: DriverOutcome, elements?: Array<Element | null>): CallToolResult {
  if (outcome.kind === "failed") {
    return errorResult(outcome.message);
  }
  const reply = outcome.reply;
  if (reply.ok !== true) {
    return { isError: true, content: [{ type: "text", text: String(reply.error) }], structuredContent: reply };
  }
  return { content: [{ type: "text", text: outline(reply, elements) }], structuredContent: reply };
}

const missingDriver =
  "quorvel-computer was not found: set QUORVEL_MCP_DRIVER to its path, or put it next to the server or on PATH";

// The actions with every element number turned into its centre, and where the pointer goes; or
// the refusal of the first number that cannot be used.
function resolve(pid: number, actions: Action[], observations: Observations): { actions: unknown[]; pointer: PointerMark[] } | string {
  const pointer: PointerMark[] = [];
  const at = (where: Place): { x: number; y: number } | string => {
    if (where.element === undefined) {
      return { x: where.x!, y: where.y! };
    }
    const found = observations.point(pid, where.element);
    return found.kind === "found" ? { x: found.x, y: found.y } : found.message;
  };
  const resolved: unknown[] = [];
  for (const each of actions) {
    if (each.type === "drag") {
      const path = each.path.map(at);
      const refused = path.find((point) => typeof point === "string");
      if (refused) {
        return refused as string;
      }
      pointer.push({ kind: "drag", path: path as Array<{ x: number; y: number }> });
      resolved.push({ type: "drag", path });
    } else if (each.type === "move" || each.type === "click" || each.type === "double_click" || each.type === "scroll") {
      const { element: _number, ...rest } = each;
      const point = at(each);
      if (typeof point === "string") {
        return point;
      }
      pointer.push({ kind: each.type === "move" ? "move" : each.type === "scroll" ? "scroll" : "press", ...point });
      resolved.push({ ...rest, ...point });
    } else {
      resolved.push(each);
    }
  }
  return { actions: resolved, pointer };
}

function imageOf(result: CallToolResult): Buffer | null {
  const image = (result.content ?? []).find((item) => item.type === "image") as { data: string } | undefined;
  return image ? Buffer.from(image.data, "base64") : null;
}

// `turns` is shared by every session of one server process: the desktop is one.
export function registerTools(server: McpServer, programs: Programs, turns = new Turns(), shared: Shared = newShared()): void {
  const { observations, trace } = shared;
  const observe = async (pid: number | undefined, signal: AbortSignal): Promise<CallToolResult> => {
    if (!programs.driver) {
      return errorResult(missingDriver);
    }
    const outcome = await runDriver(programs.driver, pid === undefined ? { actions: [] } : { pid, actions: [] }, signal);
    const recorded = pid !== undefined && outcome.kind === "reply" && outcome.reply.ok === true ? observations.record(pid, outcome.reply) : undefined;
    return asResult(outcome, recorded);
  };

  // Runs the call and records it with how long it took; recording never changes the result.
  const traced = <A>(tool: string, handler: (args: A, signal: AbortSignal) => Promise<CallToolResult>) =>
    async (args: A, extra: { signal: AbortSignal }): Promise<CallToolResult> => {
      const started = new Date();
      const result = await handler(args, extra.signal);
      if (trace) {
        const png = imageOf(result);
        const images: TracedImage[] = png ? [{ png, caption: "the screenshot returned" }] : [];
        trace.record({ tool, args, result, started, milliseconds: Date.now() - started.getTime(), images });
      }
      return result;
    };

  server.registerTool(
    "observe",
    {
      title: "Observe the desktop",
      description:
        "Lists the on-screen windows (pid, application, title, bounds, window_id), the frontmost process and " +
        "the permission states; with a pid, also that application's elements, one per line: a number, a " +
        "short role, the centre to click, the name and =value, and the focused element. Sends no input. " +
        "Start here: take a pid from the windows, then act on an element by its number.",
      inputSchema: { pid: z.number().int().optional().describe("The application to read the elements of") },
    },
    traced("observe", ({ pid }: { pid?: number }, signal) => turns.run(() => observe(pid, signal))),
  );

  // What the trace keeps of an act beyond its reply: the screen afterwards, the pointer drawn on it.
  const screenAfter = async (pointer: PointerMark[]): Promise<TracedImage[]> => {
    if (!programs.capture) {
      return [];
    }
    const taken = await captureScreen(programs.capture, null, 1280);
    if (taken.kind === "failed") {
      return [];
    }
    return [{ png: drawPointer(taken.png, pointer, taken.info), caption: "the screen after the act, the pointer's actions numbered in order" }];
  };

  const act = async ({ pid, actions }: { pid: number; actions: Action[] }, signal: AbortSignal): Promise<{ result: CallToolResult; pointer: PointerMark[] }> => {
    const resolved = resolve(pid, actions, observations);
    if (typeof resolved === "string") {
      return { result: errorResult(resolved), pointer: [] };
    }
    if (!programs.driver) {
      return { result: errorResult(missingDriver), pointer: [] };
    }
    observations.actedOn(pid);
    const outcome = await runDriver(programs.driver, { pid, actions: resolved.actions }, signal);
    const recorded = outcome.kind === "reply" && outcome.reply.ok === true ? observations.record(pid, outcome.reply) : undefined;
    return { result: asResult(outcome, recorded), pointer: resolved.pointer };
  };

  server.registerTool(
    "act",
    {
      title: "Act on an application",
      description:
        "Runs up to 20 actions in order on the application with this pid: it is raised and confirmed " +
        "frontmost first, the focus is checked before every event, and a pointer position must lie on " +
        "its topmost window. A pointer action takes either x and y or element: a number from the latest " +
        "observation of this pid (observe, or the previous act's reply), whose centre is used. Returns the " +
        "observation after the actions, like observe. On an error the message says whether input may have " +
        "been sent and whether to observe again before retrying.",
      inputSchema: {
        pid: z.number().int().describe("The target application's pid, from observe's windows"),
        actions: z.array(action).min(1).max(20),
      },
    },
    // The answer comes as soon as the driver's does; the trace's screenshot follows in the same
    // turn, so that the next call waits at most for it and the picture shows this act's outcome.
    async (args, extra) => {
      const started = new Date();
      return new Promise<CallToolResult>((answer) => {
        void turns.run(async () => {
          let done: { result: CallToolResult; pointer: PointerMark[] };
          try {
            done = await act(args, extra.signal);
          } catch (error) {
            done = { result: errorResult(`quorvel-mcp failed: ${(error as Error).message}`), pointer: [] };
          }
          const milliseconds = Date.now() - started.getTime();
          answer(done.result);
          if (trace) {
            const images = await screenAfter(done.pointer).catch(() => []);
            trace.record({ tool: "act", args, result: done.result, started, milliseconds, images });
          }
        });
      });
    },
  );

  const screenshot = async (
    { window_id, max_width, marks }: { window_id?: number; max_width?: number; marks?: number },
    signal: AbortSignal,
  ): Promise<CallToolResult> => {
    if (!programs.capture) {
      return errorResult(programs.captureMissing);
    }
    let elements: Element[] | null = null;
    if (marks !== undefined) {
      const current = observations.current(marks);
      if (current.kind === "refused") {
        return errorResult(`No marks: ${current.message}`);
      }
      elements = current.elements;
    }
    let region = null;
    if (window_id !== undefined) {
      if (!programs.driver) {
        return errorResult(missingDriver);
      }
      const observed = await runDriver(programs.driver, { actions: [] }, signal);
      if (observed.kind === "failed" || observed.reply.ok !== true) {
        return asResult(observed);
      }
      const windows = (observed.reply.windows as Array<Record<string, unknown>>) ?? [];
      const window = windows.find((each) => each.window_id === window_id);
      if (!window) {
        return errorResult(`No on-screen window has window_id ${window_id}; observe again.`);
      }
      const bounds = window.bounds as Record<string, number>;
      region = { x: bounds.X, y: bounds.Y, width: bounds.Width, height: bounds.Height };
    }
    const taken = await captureScreen(programs.capture, region, max_width ?? 1280);
    if (taken.kind === "failed") {
      return errorResult(taken.message);
    }
    const info: CaptureInfo = taken.info;
    let png = taken.png;
    let marked = "";
    if (elements) {
      const drawn = drawMarks(png, elements, info);
      png = drawn.png;
      marked =
        drawn.marked.length === 0
          ? `\nNo element of pid ${marks}'s latest observation is on this image.`
          : `\nBoxes numbered as pid ${marks}'s latest observation: ${drawn.marked.join(" ")}.`;
    }
    return {
      content: [
        {
          type: "text",
          text:
            `Captured x ${info.x}, y ${info.y}, ${info.width}x${info.height} of the driver's coordinates, ` +
            `scale ${info.scale} (image ${info.png_width}x${info.png_height}): ` +
            `image pixel (px, py) is the point (${info.x} + px / ${info.scale}, ${info.y} + py / ${info.scale}).` +
            marked,
        },
        { type: "image", data: png.toString("base64"), mimeType: "image/png" },
      ],
    };
  };

  server.registerTool(
    "screenshot",
    {
      title: "Screenshot",
      description:
        "A PNG of the whole screen, or of one window's bounds, scaled down to at most max_width pixels " +
        "wide. The text says which region of the driver's coordinates was captured and the scale: a pixel " +
        "(px, py) of the image is the point (x + px / scale, y + py / scale). With marks (a pid), the " +
        "elements of that pid's latest observation are drawn as boxes with their numbers.",
      inputSchema: {
        window_id: z.number().int().optional().describe("A window_id from observe; the whole screen when absent"),
        max_width: z.number().int().min(16).max(8192).optional().describe("Default 1280"),
        marks: z.number().int().optional().describe("A pid: draw its latest observation's elements as numbered boxes"),
      },
    },
    traced("screenshot", (args: { window_id?: number; max_width?: number; marks?: number }, signal) =>
      turns.run(() => screenshot(args, signal)),
    ),
  );

  if (shared.allowLaunch) {
    server.registerTool(
      "launch",
      {
        title: "Launch a program",
        description:
          "Starts a program from an argument vector (no shell: argv[0] is the program, found on PATH) and " +
          "waits until a window of it or of one of its children is on the screen; returns its pid and the " +
          "observation of the window's process, with element numbers for act.",
        inputSchema: {
          argv: z.array(z.string().min(1)).min(1).describe('The program and its arguments, e.g. ["gtk3-widget-factory"]'),
          timeout_seconds: z.number().min(1).max(120).optional().describe("How long to wait for its window; default 30"),
        },
      },
      traced("launch", (args: { argv: string[]; timeout_seconds?: number }, signal) =>
        programs.driver ? launch(programs.driver, args, turns, observe, signal) : Promise.resolve(errorResult(missingDriver)),
      ),
    );
  }
}
