// What an agent gets on a virtual desktop: lean outlines (their tokens against the table form),
// numbered marks on screenshots, clicks by element number, launching, and a trace a browser shows.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";

import type { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { encode } from "gpt-tokenizer/encoding/o200k_base";
import pngjs from "pngjs";

import { colourOf } from "../src/marks.js";
import { connect, type Desktop, realDriver, repository, startDesktop, textOf } from "./support.js";

type Node = {
  AXRole?: string;
  AXTitle?: string;
  AXValue?: unknown;
  AXPosition?: { x: number; y: number };
  AXSize?: { width: number; height: number };
  children?: Node[];
};
type Reply = { accessibility_tree: Node; focused_element?: Node };

let desktop: Desktop;
let client: Client;
let pid: number;

before(async () => {
  desktop = startDesktop("gtk3-widget-factory");
  pid = desktop.pids[0];
  client = await connect({ ...desktop.env, QUORVEL_MCP_DRIVER: realDriver }, ["--allow-launch"]);
});

after(async () => {
  await client?.close();
  desktop?.stop();
});

const sleep = (milliseconds: number) => new Promise((resolve) => setTimeout(resolve, milliseconds));

// The tree as OSWorld's agents read it: a header, then one line per node with its tag, name,
// text, position and size.
function table(tree: Node): string {
  const rows = ["tag\tname\ttext\tposition (top-left x&y)\tsize (w&h)"];
  const walk = (node: Node): void => {
    const { AXPosition: p, AXSize: s } = node;
    const text = node.AXValue === undefined ? "" : String(node.AXValue);
    rows.push([node.AXRole, node.AXTitle ?? "", text, p ? `(${p.x}, ${p.y})` : "", s ? `(${s.width}, ${s.height})` : ""].join("\t"));
    (node.children ?? []).forEach(walk);
  };
  walk(tree);
  return rows.join("\n");
}

function count(tree: Node): number {
  return 1 + (tree.children ?? []).reduce((sum, child) => sum + count(child), 0);
}

function image(result: Record<string, unknown>): InstanceType<typeof pngjs.PNG> {
  const item = (result.content as Array<{ type: string; data?: string }>).find((each) => each.type === "image")!;
  return pngjs.PNG.sync.read(Buffer.from(item.data!, "base64"));
}

function pixel(png: InstanceType<typeof pngjs.PNG>, x: number, y: number): [number, number, number] {
  const at = (png.width * y + x) * 4;
  return [png.data[at], png.data[at + 1], png.data[at + 2]];
}

test("the outline costs at most half the tokens of the table form (gtk3-widget-factory, Firefox)", async (t) => {
  const measure = (name: string, observed: Record<string, unknown>): void => {
    const tree = (observed.structuredContent as Reply).accessibility_tree;
    const text = textOf(observed);
    // The tree's part of the outline, from its heading to the focused element's number.
    const lean = encode(text.slice(text.indexOf("elements ("), text.lastIndexOf("\nfocused: "))).length;
    const whole = encode(text).length;
    const tabular = encode(table(tree)).length;
    const nodes = count(tree);
    const share = (part: number) => `${((100 * part) / tabular).toFixed(0)} %`;
    t.diagnostic(
      `${name}: ${nodes} nodes; table ${tabular} tokens; the outline's tree ${lean} (${share(lean)}), ` +
        `with the windows and the focus ${whole} (${share(whole)})`,
    );
    assert.ok(lean <= tabular / 2, `${name}: ${lean} of ${tabular}`);
    assert.ok((whole / nodes) * 180 <= 8000, `${name}: ${whole} tokens for ${nodes} nodes`);
  };
  measure("gtk3-widget-factory", await client.callTool({ name: "observe", arguments: { pid } }));

  const firefox = startDesktop(path.join(repository, "scripts/launch-app.sh") + " firefox");
  const reader = await connect({ ...firefox.env, QUORVEL_MCP_DRIVER: realDriver });
  try {
    // The page's form and the browser's bars reach the accessibility tree a while after the
    // window shows: measured once the form is there and two observations count the same lines.
    let previous = "";
    for (let tries = 0; ; tries++) {
      const observed = await reader.callTool({ name: "observe", arguments: { pid: firefox.pids[0] } });
      const text = textOf(observed);
      if (/^\d+ button \d+,\d+ Send$/m.test(text) && text.split("\n").length === previous.split("\n").length) {
        measure("Firefox with a form", observed);
        break;
      }
      assert.ok(tries < 120, "Firefox never showed its form");
      previous = text;
      await sleep(500);
    }
  } finally {
    await reader.close();
    firefox.stop();
  }
});

test("marks: numbered boxes on the elements' frames, at the image's scale", async () => {
  const without = await client.callTool({ name: "screenshot", arguments: { marks: 424242 } });
  assert.equal(without.isError, true);
  assert.match(textOf(without), /No marks: There is no observation of pid 424242 yet: observe it first/);

  const observed = await client.callTool({ name: "observe", arguments: { pid } });
  type Frame = { x: number; y: number; width: number; height: number };
  const frames = new Map<number, Frame>();
  let number = 0;
  const walk = (node: Node): void => {
    number++;
    if (node.AXPosition && node.AXSize) {
      frames.set(number, { ...node.AXPosition, ...node.AXSize });
    }
    (node.children ?? []).forEach(walk);
  };
  walk((observed.structuredContent as Reply).accessibility_tree);

  for (const maxWidth of [1280, 640]) {
    const shot = await client.callTool({ name: "screenshot", arguments: { marks: pid, max_width: maxWidth } });
    assert.notEqual(shot.isError, true, textOf(shot));
    const scale = maxWidth / 1280;
    const marked = /Boxes numbered as pid \d+'s latest observation: ([\d ]+)\./.exec(textOf(shot))![1].split(" ").map(Number);
    assert.ok(marked.length > 40, `only ${marked.length} marked`);
    const png = image(shot);
    const shares: number[] = [];
    // Boxes that hold no other box: a smaller box drawn later never hides their edges.
    const within = (inner: Frame, outer: Frame) =>
      inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width && inner.y + inner.height <= outer.y + outer.height;
    const leaves = marked.filter((each) => !marked.some((other) => other !== each && within(frames.get(other)!, frames.get(each)!)));
    for (const each of leaves) {
      const frame = frames.get(each)!;
      const [left, top] = [Math.round(frame.x * scale), Math.round(frame.y * scale)];
      const [right, bottom] = [Math.round((frame.x + frame.width) * scale) - 1, Math.round((frame.y + frame.height) * scale) - 1];
      if (left < 0 || top < 0 || right >= png.width || bottom >= png.height || right - left < 12 || bottom - top < 12) {
        continue;
      }
      // Along the four edges, the box's colour, except where a later box or a label covers it.
      const edge: Array<[number, number]> = [];
      for (let x = left; x <= right; x++) edge.push([x, top], [x, bottom]);
      for (let y = top; y <= bottom; y++) edge.push([left, y], [right, y]);
      const own = edge.filter(([x, y]) => pixel(png, x, y).join() === colourOf(each).join()).length;
      // Neighbours' number tags may cover a small box's edge in part, never most of it.
      assert.ok(own / edge.length > 0.3, `element ${each} at ${maxWidth} px: ${own} of ${edge.length} edge pixels`);
      shares.push(own / edge.length);
    }
    assert.ok(shares.length > 20, `${shares.length} boxes checked`);
    assert.ok(shares.reduce((sum, share) => sum + share, 0) / shares.length > 0.8, `${shares.join(" ")}`);
  }
});

test("a click by element number focuses that element, as the application reports", async () => {
  const observed = await client.callTool({ name: "observe", arguments: { pid } });
  // An empty entry that is not focused: "23 entry 193,166".
  const line = /^(\d+) entry (\d+),(\d+)$/m.exec(textOf(observed));
  assert.ok(line, textOf(observed));
  const [, number, x, y] = line.map(Number);
  const acted = await client.callTool({ name: "act", arguments: { pid, actions: [{ type: "click", element: number }, { type: "type", text: "by number" }] } });
  assert.notEqual(acted.isError, true, textOf(acted));
  const focused = (acted.structuredContent as Reply).focused_element!;
  assert.equal(focused.AXValue, "by number");
  assert.deepEqual(
    [Math.round(focused.AXPosition!.x + focused.AXSize!.width / 2), Math.round(focused.AXPosition!.y + focused.AXSize!.height / 2)],
    [x, y],
  );
  assert.match(textOf(acted), new RegExp(`^${number} entry ${x},${y} =by number focused$`, "m"));
  assert.match(textOf(acted), new RegExp(`^focused: ${number}$`, "m"));
});

test("launch: a window and its pid, or an error that says what went wrong", async () => {
  const launched = await client.callTool({ name: "launch", arguments: { argv: ["gtk3-widget-factory"] } });
  assert.notEqual(launched.isError, true, textOf(launched));
  const started = (launched.structuredContent as { launched_pid: number; windows: Array<{ pid: number }> }).launched_pid;
  try {
    assert.match(textOf(launched), new RegExp(`^Launched "gtk3-widget-factory": pid ${started}, window_id \\d+\\.$`, "m"));
    assert.ok((launched.structuredContent as { windows: Array<{ pid: number }> }).windows.some((window) => window.pid === started));
    assert.match(textOf(launched), /^\d+ window \d+,\d+ gtk3-widget-factory$/m);
  } finally {
    process.kill(started);
  }

  const failures: Array<[string[], number | undefined, RegExp]> = [
    [["/nonexistent/program"], undefined, /^Could not start "\/nonexistent\/program": no such program; nothing was launched\.$/],
    [["false"], undefined, /^"false" \(pid \d+\) exited with status 1 before it showed a window\.$/],
    [["sleep", "30"], 1, /^"sleep" \(pid (\d+)\) showed no window within 1 s; it is still running\.$/],
  ];
  for (const [argv, timeout_seconds, message] of failures) {
    const failed = await client.callTool({ name: "launch", arguments: { argv, timeout_seconds } });
    assert.equal(failed.isError, true, argv.join(" "));
    const found = message.exec(textOf(failed));
    assert.ok(found, textOf(failed));
    if (found[1]) {
      process.kill(Number(found[1]));
    }
  }
});

test("a trace of three calls, opened from its folder in headless Chromium, shows the steps", async () => {
  const folder = mkdtempSync(path.join(tmpdir(), "quorvel-mcp-trace-"));
  const traced = await connect({ ...desktop.env, QUORVEL_MCP_DRIVER: realDriver }, ["--trace", folder]);
  const observed = await traced.callTool({ name: "observe", arguments: { pid } });
  const number = Number(/^(\d+) entry /m.exec(textOf(observed))![1]);
  const acted = await traced.callTool({ name: "act", arguments: { pid, actions: [{ type: "click", element: number }] } });
  assert.notEqual(acted.isError, true, textOf(acted));
  await traced.callTool({ name: "screenshot", arguments: { marks: pid, max_width: 640 } });
  const page = path.join(folder, "index.html");
  for (let tries = 0; !readFileSync(page, "utf8").includes(": 3 calls"); tries++) {
    assert.ok(tries < 100, "the page never listed three calls");
    await sleep(100);
  }
  await traced.close();

  const picture = path.join(folder, "page.png");
  const chromium = spawnSync(
    "chromium",
    [
      "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
      "--disable-component-update", "--disable-sync", `--user-data-dir=${mkdtempSync(path.join(tmpdir(), "quorvel-chromium-"))}`,
      `--screenshot=${picture}`, "--window-size=1000,3200", `file://${page}`,
    ],
    { encoding: "utf8", timeout: 60000 },
  );
  assert.equal(chromium.status, 0, chromium.stderr);
  const png = pngjs.PNG.sync.read(readFileSync(picture));
  const near = (x: number, y: number, colour: number[]) => pixel(png, x, y).every((value, index) => Math.abs(value - colour[index]) <= 8);
  // Each step's heading is a band of blue across the page: three of them.
  const heading = (y: number) => [600, 700, 800, 900].every((x) => near(x, y, [31, 95, 191]));
  let bands = 0;
  for (let y = 1; y < png.height; y++) {
    bands += heading(y) && !heading(y - 1) ? 1 : 0;
  }
  assert.equal(bands, 3);
  // The act's screenshot, a file beside the page, shows with the click drawn in magenta.
  let magenta = 0;
  for (let y = 0; y < png.height; y++) {
    for (let x = 0; x < png.width; x++) {
      magenta += near(x, y, [255, 0, 255]) ? 1 : 0;
    }
  }
  assert.ok(magenta > 50, `${magenta} magenta pixels`);
});
