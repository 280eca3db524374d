// What a client sees on a virtual desktop with gtk3-widget-factory: the SDK's own client and the
// MCP Inspector's command line, both over stdio.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import path from "node:path";
import { after, before, test } from "node:test";

import type { Client } from "@modelcontextprotocol/sdk/client/index.js";

import { connect, type Desktop, mcpFolder, realDriver, serverScript, startDesktop, textOf } from "./support.js";

type Node = { AXRole?: string; AXPosition?: { x: number; y: number }; AXSize?: { width: number; height: number }; children?: Node[] };

let desktop: Desktop;
let client: Client;
let pid: number;

before(async () => {
  desktop = startDesktop("gtk3-widget-factory");
  pid = desktop.pids[0];
  client = await connect({ ...desktop.env, QUORVEL_MCP_DRIVER: realDriver });
});

after(async () => {
  await client?.close();
  desktop?.stop();
});

function firstTextField(node: Node): Node | null {
  if (node.AXRole === "AXTextField" && node.AXPosition && node.AXSize && node.AXSize.width > 4) {
    return node;
  }
  for (const child of node.children ?? []) {
    const found = firstTextField(child);
    if (found) {
      return found;
    }
  }
  return null;
}

// The width and height a PNG's header gives.
function pngSize(base64: string): [number, number] {
  const bytes = Buffer.from(base64, "base64");
  assert.equal(bytes.subarray(1, 4).toString("latin1"), "PNG");
  return [bytes.readUInt32BE(16), bytes.readUInt32BE(20)];
}

test("observe gives the windows and the tree, as structured content and as an outline", async () => {
  const desktopOnly = await client.callTool({ name: "observe", arguments: {} });
  const windows = (desktopOnly.structuredContent as { windows: Array<{ pid: number }> }).windows;
  assert.ok(windows.some((window) => window.pid === pid), JSON.stringify(windows));
  const observed = await client.callTool({ name: "observe", arguments: { pid } });
  assert.notEqual(observed.isError, true, textOf(observed));
  assert.match(textOf(observed), new RegExp(`^${pid} Gtk3-widget-factory gtk3-widget-factory `, "m"));
  assert.match(textOf(observed), /^2 window \d+,\d+ gtk3-widget-factory$/m);
  assert.ok(firstTextField((observed.structuredContent as { accessibility_tree: Node }).accessibility_tree));
});

test("act clicks into the entry and types; the focused element holds the text", async () => {
  const observed = await client.callTool({ name: "observe", arguments: { pid } });
  const field = firstTextField((observed.structuredContent as { accessibility_tree: Node }).accessibility_tree)!;
  const x = field.AXPosition!.x + field.AXSize!.width / 2;
  const y = field.AXPosition!.y + field.AXSize!.height / 2;
  const text = "Grüße über MCP";
  const acted = await client.callTool({
    name: "act",
    arguments: { pid, actions: [{ type: "click", x, y }, { type: "keypress", keys: ["ctrl", "a"] }, { type: "type", text }] },
  });
  assert.notEqual(acted.isError, true, textOf(acted));
  const focused = (acted.structuredContent as { focused_element?: { AXValue?: string } }).focused_element;
  assert.equal(focused?.AXValue, text);
  assert.match(textOf(acted), new RegExp(`^(\\d+) entry \\d+,\\d+ =${text} focused\n(.*\n)*focused: \\1$`, "m"));
});

test("an error reply is an error result that says what to do", async () => {
  const result = await client.callTool({ name: "act", arguments: { pid: 999999, actions: [{ type: "focus" }] } });
  assert.equal(result.isError, true);
  assert.equal(textOf(result), "Target process no longer exists");
});

test("a screenshot is a PNG of the asked size with the region it shows", async () => {
  const screen = await client.callTool({ name: "screenshot", arguments: { max_width: 640 } });
  assert.notEqual(screen.isError, true, textOf(screen));
  const image = (screen.content as Array<{ type: string; data?: string; mimeType?: string }>).find((item) => item.type === "image")!;
  assert.equal(image.mimeType, "image/png");
  assert.deepEqual(pngSize(image.data!), [640, 400]);
  assert.match(textOf(screen), /Captured x 0, y 0, 1280x800 of the driver's coordinates, scale 0.5 /);

  const observed = await client.callTool({ name: "observe", arguments: {} });
  const window = (observed.structuredContent as { windows: Array<{ pid: number; window_id: number; bounds: { X: number; Y: number; Width: number; Height: number } }> })
    .windows.find((each) => each.pid === pid)!;
  const shot = await client.callTool({ name: "screenshot", arguments: { window_id: window.window_id } });
  assert.notEqual(shot.isError, true, textOf(shot));
  const { X, Y, Width, Height } = window.bounds;
  const shown = [Math.max(0, X), Math.max(0, Y), Math.min(1280, X + Width) - Math.max(0, X), Math.min(800, Y + Height) - Math.max(0, Y)];
  assert.match(textOf(shot), new RegExp(`Captured x ${shown[0]}, y ${shown[1]}, ${shown[2]}x${shown[3]} `));
});

test("the MCP Inspector's command line lists the tools and observes", () => {
  const inspector = path.join(mcpFolder, "node_modules/.bin/mcp-inspector");
  const env = { ...process.env, ...desktop.env, QUORVEL_MCP_DRIVER: realDriver };
  const listed = JSON.parse(
    execFileSync(inspector, ["--cli", process.execPath, serverScript, "--method", "tools/list"], { env, encoding: "utf8" }),
  ) as { tools: Array<{ name: string }> };
  assert.deepEqual(listed.tools.map((tool) => tool.name).sort(), ["act", "observe", "screenshot"]);
  const called = JSON.parse(
    execFileSync(
      inspector,
      ["--cli", process.execPath, serverScript, "--method", "tools/call", "--tool-name", "observe", "--tool-arg", `pid=${pid}`],
      { env, encoding: "utf8" },
    ),
  ) as { structuredContent: { ok: boolean; accessibility_tree: Node } };
  assert.equal(called.structuredContent.ok, true);
  assert.equal(called.structuredContent.accessibility_tree.AXRole, "AXApplication");
});
