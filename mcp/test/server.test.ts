// What a client sees of the server without a desktop: the tools, refused arguments, a driver
// that is missing or answers nonsense, turns, and cancellation.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { test } from "node:test";

import { cancelledBeforeItBegan, runDriver } from "../src/driver.js";
import { connect, fakeDriver, realDriver, serverScript, textOf } from "./support.js";

const observation =
  '{"accessibility":false,"coordinate_space":"global macOS logical points; top-left origin","foreground_pid":0,"ok":true,"screen_capture":false,"windows":[]}';

test("lists the three tools, each with a description and an input schema", async () => {
  const client = await connect({ QUORVEL_MCP_DRIVER: fakeDriver(observation).path });
  const { tools } = await client.listTools();
  assert.deepEqual(tools.map((tool) => tool.name).sort(), ["act", "observe", "screenshot"]);
  for (const tool of tools) {
    assert.ok((tool.description ?? "").length > 40, tool.name);
    assert.equal(tool.inputSchema.type, "object");
  }
  const act = tools.find((tool) => tool.name === "act")!;
  assert.deepEqual(act.inputSchema.required?.sort(), ["actions", "pid"]);
  await client.close();
});

test("arguments outside the schema are refused and start no driver", async () => {
  const fake = fakeDriver(observation);
  const client = await connect({ QUORVEL_MCP_DRIVER: fake.path });
  const refused = [
    { pid: 1, actions: [] },
    { pid: 1, actions: Array(21).fill({ type: "wait" }) },
    { pid: "1", actions: [{ type: "wait" }] },
    { pid: 1, actions: [{ type: "click", x: 1 }] },
    { pid: 1, actions: [{ type: "click", x: 1, y: 2, element: 3 }] },
    { pid: 1, actions: [{ type: "teleport" }] },
  ];
  for (const args of refused) {
    const result = await client.callTool({ name: "act", arguments: args }).catch((error: Error) => ({
      isError: true,
      content: [{ type: "text", text: error.message }],
    }));
    assert.equal(result.isError, true, JSON.stringify(args));
    assert.match(textOf(result), /invalid|expected|too/i, JSON.stringify(args));
  }
  assert.equal(existsSync(fake.log), false, "a driver ran");
  await client.close();
});

test("a driver that is missing or answers nonsense is an error result, and the server goes on", async () => {
  const missing = await connect({ QUORVEL_MCP_DRIVER: "/nonexistent/quorvel-computer" });
  const result = await missing.callTool({ name: "observe", arguments: {} });
  assert.equal(result.isError, true);
  assert.match(textOf(result), /not found/);
  await missing.close();

  for (const line of ["not json", '{"no":"ok key"}']) {
    const client = await connect({ QUORVEL_MCP_DRIVER: fakeDriver(line).path });
    const bad = await client.callTool({ name: "observe", arguments: {} });
    assert.equal(bad.isError, true);
    assert.match(textOf(bad), /gave no reply line/);
    const { tools } = await client.listTools();
    assert.equal(tools.length, 3);
    await client.close();
  }
});

test("an error reply becomes an error result with the driver's message", async () => {
  const message = "Target lost focus; input stopped. Observe again before retrying.";
  const client = await connect({ QUORVEL_MCP_DRIVER: fakeDriver(`{"error":"${message}","ok":false}`).path });
  const result = await client.callTool({ name: "act", arguments: { pid: 1, actions: [{ type: "focus" }] } });
  assert.equal(result.isError, true);
  assert.equal(textOf(result), message);
  await client.close();
});

test("calls that arrive while a batch runs wait their turn", async () => {
  const fake = fakeDriver(observation, 0.3);
  const client = await connect({ QUORVEL_MCP_DRIVER: fake.path });
  const calls = [1, 2, 3].map(() => client.callTool({ name: "act", arguments: { pid: 1, actions: [{ type: "wait" }] } }));
  for (const result of await Promise.all(calls)) {
    assert.notEqual(result.isError, true);
  }
  const marks = readFileSync(fake.log, "utf8").trim().split("\n").map((line) => line.split(" "));
  assert.deepEqual(marks.map(([what]) => what), ["start", "end", "start", "end", "start", "end"]);
  await client.close();
});

// The driver finishes a wait it has begun (at most 2 s) and stops at the next action: two
// waits of 2 s cancelled after 0.3 s end after the first, well before the 4 s of both.
const twoWaits = [{ type: "wait", seconds: 2 }, { type: "wait", seconds: 2 }];

test("a cancelled call comes back at once and frees its turn when its driver stops", async () => {
  const client = await connect({ QUORVEL_MCP_DRIVER: realDriver });
  const controller = new AbortController();
  const started = Date.now();
  const waiting = client.callTool(
    { name: "act", arguments: { pid: process.pid, actions: twoWaits } },
    undefined,
    { signal: controller.signal },
  );
  await new Promise((resolve) => setTimeout(resolve, 300));
  controller.abort();
  await assert.rejects(waiting);
  assert.ok(Date.now() - started < 1000, "the cancelled call did not come back at once");
  const next = await client.callTool({ name: "observe", arguments: {} });
  assert.notEqual(next.isError, true, textOf(next));
  assert.ok(Date.now() - started < 3000, `the next call ended ${Date.now() - started} ms after the start`);
  await client.close();
});

test("the driver of a cancelled call gives its own cancelled reply", async () => {
  const controller = new AbortController();
  setTimeout(() => controller.abort(), 300);
  const started = Date.now();
  const outcome = await runDriver(realDriver, { actions: twoWaits }, controller.signal);
  assert.equal(outcome.kind, "reply");
  assert.deepEqual(outcome.kind === "reply" && outcome.reply, {
    ok: false,
    error: "Computer request cancelled; observe before retrying.",
  });
  assert.ok(Date.now() - started < 3000);
});

test("a driver signalled at any moment of its start is reported cancelled, never as a reply", async () => {
  for (const delay of [0, 1, 2, 5, 10, 50, 300]) {
    const controller = new AbortController();
    setTimeout(() => controller.abort(), delay);
    const outcome = await runDriver(realDriver, { actions: [{ type: "wait", seconds: 1 }] }, controller.signal);
    if (outcome.kind === "failed") {
      assert.equal(outcome.message, cancelledBeforeItBegan, `after ${delay} ms`);
    } else {
      assert.equal(outcome.reply.ok, false, `after ${delay} ms`);
      assert.equal(outcome.reply.error, "Computer request cancelled; observe before retrying.");
    }
  }
});

// A driver that observes a tree of an application (no frame) and a button, and refuses clicks.
function scriptedDriver(): { path: string; log: string } {
  const tree =
    '{"AXRole":"AXApplication","AXTitle":"app","children":[{"AXRole":"AXButton","AXTitle":"OK","AXPosition":{"x":10,"y":20},"AXSize":{"width":40,"height":20}}]}';
  const observed = `{"accessibility":true,"accessibility_tree":${tree},"foreground_pid":1,"ok":true,"screen_capture":true,"windows":[]}`;
  const fake = fakeDriver("");
  writeFileSync(
    fake.path,
    `#!/bin/sh\nrequest=$(cat)\necho "$request" >>'${fake.log}'\ncase "$request" in\n` +
      `*click*) echo '{"error":"Target lost focus; input stopped. Observe again before retrying.","ok":false}' ;;\n` +
      `*) echo '${observed}' ;;\nesac\n`,
  );
  return fake;
}

test("element numbers: turned into the centre, or refused without a driver when they cannot be used", async () => {
  const fake = scriptedDriver();
  const client = await connect({ QUORVEL_MCP_DRIVER: fake.path });
  const act = (pid: number, element: number) => client.callTool({ name: "act", arguments: { pid, actions: [{ type: "click", element }] } });
  const runs = () => readFileSync(fake.log, "utf8").trim().split("\n");

  assert.equal((await act(1, 2)).isError, true);
  assert.match(textOf(await act(1, 2)), /no observation of pid 1 yet: observe it first/);
  const observed = await client.callTool({ name: "observe", arguments: { pid: 1 } });
  assert.match(textOf(observed), /^1 application app\n2 button 30,30 OK$/m);
  assert.equal(runs().length, 1);
  const refusals: Array<[number, number, RegExp]> = [
    [1, 3, /Element 3 is not in the latest observation of pid 1 \(elements 1 to 2\): observe again/],
    [1, 1, /Element 1 of pid 1 has no position on the screen: observe again/],
    [2, 2, /no observation of pid 2 yet/],
  ];
  for (const [pid, element, message] of refusals) {
    const refused = await act(pid, element);
    assert.equal(refused.isError, true);
    assert.match(textOf(refused), message);
  }
  assert.equal(runs().length, 1, "a refused number started a driver");

  // Turned into the button's centre; the act fails, so the observation before it is stale.
  assert.match(textOf(await act(1, 2)), /Target lost focus/);
  assert.deepEqual(JSON.parse(runs()[1]), { pid: 1, actions: [{ type: "click", x: 30, y: 30 }] });
  const stale = await act(1, 2);
  assert.match(textOf(stale), /latest observation of pid 1 is older than the last act on it: observe again/);
  const marks = await client.callTool({ name: "screenshot", arguments: { marks: 1 } });
  assert.equal(marks.isError, true);
  assert.equal(runs().length, 2);
  await client.close();
});

test("a trace folder that cannot be written stops the server at its start, saying so", () => {
  const file = path.join(mkdtempSync(path.join(tmpdir(), "quorvel-mcp-trace-")), "a file");
  writeFileSync(file, "");
  const started = spawnSync(process.execPath, [serverScript, "--trace", path.join(file, "trace")], { input: "", encoding: "utf8" });
  assert.equal(started.status, 2);
  assert.match(started.stderr, /cannot write the trace folder .*a file\/trace: ENOTDIR/);
  assert.equal(started.stdout, "");
});
