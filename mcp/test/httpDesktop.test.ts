// The server over Streamable HTTP on a virtual desktop with gtk3-widget-factory: the three tools
// through the SDK's client, and a client that goes away mid-act, which must leave no driver
// running and no button or key pressed.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { after, before, test } from "node:test";

import { childrenNamed, connectHttp, eventually, type HttpServer, startHttpServer } from "./httpSupport.js";
import { type Desktop, realDriver, startDesktop, textOf } from "./support.js";

type Node = { AXRole?: string; AXValue?: string; AXPosition?: { x: number; y: number }; AXSize?: { width: number; height: number }; children?: Node[] };

let desktop: Desktop;
let server: HttpServer;
let pid: number;

before(async () => {
  desktop = startDesktop("gtk3-widget-factory");
  pid = desktop.pids[0];
  server = await startHttpServer({ ...desktop.env, QUORVEL_MCP_DRIVER: realDriver });
});

after(async () => {
  await server?.stop();
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

async function textField(client: Awaited<ReturnType<typeof connectHttp>>["client"]): Promise<{ x: number; y: number; width: number }> {
  const observed = await client.callTool({ name: "observe", arguments: { pid } });
  assert.notEqual(observed.isError, true, textOf(observed));
  const field = firstTextField((observed.structuredContent as { accessibility_tree: Node }).accessibility_tree)!;
  return { x: field.AXPosition!.x + field.AXSize!.width / 2, y: field.AXPosition!.y + field.AXSize!.height / 2, width: field.AXSize!.width };
}

// The pointer buttons held (the X button masks) and the number of keys down, on the desktop
// (Debian's python3 with python3-xlib, whatever python3 PATH finds first).
function pressed(): { buttons: number; keys: number } {
  const script =
    "from Xlib import display\n" +
    "d = display.Display()\n" +
    "print(d.screen().root.query_pointer().mask & 0x1f00, sum(bin(b).count('1') for b in d.query_keymap()))\n";
  const [buttons, keys] = execFileSync("/usr/bin/python3", ["-c", script], { env: { ...process.env, ...desktop.env }, encoding: "utf8" }).trim().split(" ").map(Number);
  return { buttons, keys };
}

test("observe, act and screenshot work over HTTP", async () => {
  const { client } = await connectHttp(server.url, server.token);
  const { x, y } = await textField(client);
  const text = "Grüße über HTTP";
  const acted = await client.callTool({
    name: "act",
    arguments: { pid, actions: [{ type: "click", x, y }, { type: "keypress", keys: ["ctrl", "a"] }, { type: "type", text }] },
  });
  assert.notEqual(acted.isError, true, textOf(acted));
  assert.equal((acted.structuredContent as { focused_element?: { AXValue?: string } }).focused_element?.AXValue, text);
  const shot = await client.callTool({ name: "screenshot", arguments: { max_width: 320 } });
  const image = (shot.content as Array<{ type: string; data?: string }>).find((item) => item.type === "image")!;
  const png = Buffer.from(image.data!, "base64");
  assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [320, 200]);
  await client.close();
});

test("a client that goes away mid-act leaves no driver running and nothing pressed", async () => {
  const first = await connectHttp(server.url, server.token);
  const field = await textField(first.client);
  await first.client.close();
  const long = "x".repeat(600); // 3 s of typing
  const batches = [
    { why: "mid-drag, the button held", actions: [{ type: "drag", path: Array.from({ length: 30 }, (_, i) => ({ x: field.x - field.width / 4 + i, y: field.y })) }] },
    { why: "mid-typing", actions: [{ type: "click", x: field.x, y: field.y }, { type: "keypress", keys: ["ctrl", "a"] }, { type: "type", text: long }] },
  ];
  for (const { why, actions } of batches) {
    const { client, transport } = await connectHttp(server.url, server.token);
    const call = client.callTool({ name: "act", arguments: { pid, actions } }).catch(() => undefined);
    assert.ok(await eventually(() => childrenNamed(server.child.pid!, "quorvel-computer").length === 1, 10), `${why}: no driver ran`);
    // Each batch takes more than 3.5 s; the client goes away 1.5 s into it.
    await new Promise((resolve) => setTimeout(resolve, 1500));
    await transport.close();
    await call;
    assert.ok(await eventually(() => childrenNamed(server.child.pid!, "quorvel-computer").length === 0, 1), `${why}: the driver still runs`);
    assert.deepEqual(pressed(), { buttons: 0, keys: 0 }, why);
  }
  // The server serves on; the typing was cut short.
  const { client } = await connectHttp(server.url, server.token);
  const observed = await client.callTool({ name: "observe", arguments: { pid } });
  const focused = (observed.structuredContent as { focused_element?: { AXValue?: string } }).focused_element;
  assert.ok((focused?.AXValue ?? "").length < long.length, `all ${long.length} characters were typed`);
  await client.close();
});
