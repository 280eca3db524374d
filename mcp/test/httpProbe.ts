// Checks a desktop from outside it, as an agent would reach it, for scripts/image-check.sh:
//
//   node dist/test/httpProbe.js URL TOKEN_FILE [observe|act|repeat N]
//
// observe: the three tools are listed, an observation shows an xterm window, a screenshot is a
// PNG. act: also types a command into that xterm, which writes /tmp/quorvel-probe on the desktop.
// repeat N: also N more observations one after the other, timed.
// Prints a one-line JSON summary; exit status 1, with the reason, when a step fails.
import { readFileSync } from "node:fs";

import { connectHttp } from "./httpSupport.js";
import { textOf } from "./support.js";

const [url, tokenFile, mode = "observe", count = "0"] = process.argv.slice(2);
const token = readFileSync(tokenFile, "utf8").split("\n")[0].trim();

function fail(why: string): never {
  process.stderr.write(`httpProbe: ${why}\n`);
  process.exit(1);
}

const { client } = await connectHttp(url, token);
const { tools } = await client.listTools();
const names = tools.map((tool) => tool.name).sort();
if (names.join(",") !== "act,observe,screenshot") {
  fail(`tools ${names.join(",")}`);
}
const observed = await client.callTool({ name: "observe", arguments: {} });
type Window = { pid: number; app: string; title: string };
const windows = ((observed.structuredContent ?? {}) as { windows?: Window[] }).windows ?? [];
const xterm = windows.find((window) => /xterm/i.test(`${window.app} ${window.title}`));
if (observed.isError || !xterm) {
  fail(`no xterm window in the observation: ${textOf(observed)}`);
}
const shot = await client.callTool({ name: "screenshot", arguments: { max_width: 640 } });
const image = (shot.content as Array<{ type: string; data?: string }>).find((item) => item.type === "image");
const png = image ? Buffer.from(image.data!, "base64") : Buffer.alloc(0);
if (shot.isError || png.subarray(1, 4).toString("latin1") !== "PNG") {
  fail(`no PNG: ${textOf(shot)}`);
}
const summary: Record<string, unknown> = {
  tools: names,
  windows: windows.length,
  xterm_pid: xterm.pid,
  png: [png.readUInt32BE(16), png.readUInt32BE(20)],
};
if (mode === "act") {
  const acted = await client.callTool({
    name: "act",
    arguments: { pid: xterm.pid, actions: [{ type: "type", text: "echo acted-over-http > /tmp/quorvel-probe" }, { type: "keypress", keys: ["ENTER"] }, { type: "wait", seconds: 0.5 }] },
  });
  if (acted.isError) {
    fail(`act: ${textOf(acted)}`);
  }
  summary.acted = true;
}
if (mode === "repeat") {
  const started = performance.now();
  for (let i = 0; i < Number(count); i++) {
    const again = await client.callTool({ name: "observe", arguments: { pid: xterm.pid } });
    if (again.isError) {
      fail(`observation ${i + 1}: ${textOf(again)}`);
    }
  }
  summary.observations = Number(count);
  summary.ms_each = Math.round((performance.now() - started) / Math.max(1, Number(count)));
}
await client.close();
process.stdout.write(`${JSON.stringify(summary)}\n`);
