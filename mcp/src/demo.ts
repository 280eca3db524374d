// The demo's client (scripts/demo.sh): what an agent does through quorvel-mcp on a desktop with
// gtk3-widget-factory, told in words, with the pictures written to a folder.
//
//   node dist/src/demo.js PID FOLDER [--raw]
//
// The server runs with QUORVEL_MCP_DRIVER from the environment and a trace in FOLDER/trace.
// --raw prints each reply's structured content as the driver gave it, too.
import { readFileSync, writeFileSync } from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";

type Result = Awaited<ReturnType<Client["callTool"]>>;

const [pidText, folder, ...flags] = process.argv.slice(2);
const pid = Number(pidText);
const raw = flags.includes("--raw");
const server = path.join(path.dirname(fileURLToPath(import.meta.url)), "server.js");
const trace = path.join(folder, "trace");

const textOf = (result: Result): string =>
  ((result.content as Array<{ type: string; text?: string }>) ?? []).filter((item) => item.type === "text").map((item) => item.text).join("\n");

// The whole environment: the desktop's display and buses, and the driver's path.
const environment = Object.fromEntries(Object.entries(process.env).filter((entry): entry is [string, string] => entry[1] !== undefined));
const client = new Client({ name: "quorvel-demo", version: "0.1.0" });
await client.connect(new StdioClientTransport({ command: process.execPath, args: [server, "--trace", trace], env: environment, stderr: "inherit" }));

async function call(name: string, args: Record<string, unknown>): Promise<Result> {
  const result = await client.callTool({ name, arguments: args });
  if (result.isError) {
    console.log(`${name} failed: ${textOf(result)}`);
    process.exit(1);
  }
  if (raw && result.structuredContent) {
    console.log(`The raw reply of ${name}:\n${JSON.stringify(result.structuredContent)}\n`);
  }
  return result;
}

const desktop = textOf(await call("observe", {}));
console.log("1. observe: the windows on the screen (pid, application, title, position, size, id)");
console.log(desktop.split("\n").slice(1, -1).map((line) => "   " + line).join("\n"));

const observed = textOf(await call("observe", { pid }));
const elements = observed.split("\n").filter((line) => /^\d+ /.test(line) && !line.startsWith(`${pid} `));
console.log(`\n2. observe pid ${pid}: its ${elements.length} elements, one line each (number, role, centre, name, =value); the first 24:`);
console.log(elements.slice(0, 24).map((line) => "   " + line).join("\n"));
console.log("   …");

// The first text entry in the outline: the agent clicks it by its number.
const entry = elements.find((line) => / entry \d+,\d+/.test(line))!;
const number = Number(entry.split(" ")[0]);
console.log(`\n3. act: click element ${number} (${entry}), select all, type "hello"`);
const acted = textOf(
  await call("act", { pid, actions: [{ type: "click", element: number }, { type: "keypress", keys: ["ctrl", "a"] }, { type: "type", text: "hello" }] }),
);
const focusedNumber = /^focused: (\d+)$/m.exec(acted)?.[1];
const focusedLine = acted.split("\n").find((line) => line.startsWith(`${focusedNumber} `)) ?? acted.split("\n").at(-1);
console.log(`   the focused element afterwards: ${focusedLine}`);

const shot = await call("screenshot", { marks: pid });
const marks = path.join(folder, "marks.png");
const image = (shot.content as Array<{ type: string; data?: string }>).find((item) => item.type === "image")!;
writeFileSync(marks, Buffer.from(image.data!, "base64"));
console.log(`\n4. screenshot with marks: every element drawn as a box with its number: ${marks}`);

// The trace's page lists a call once its files are written.
for (let tries = 0; tries < 100; tries++) {
  if (readFileSync(path.join(trace, "index.html"), "utf8").includes(": 4 calls")) {
    break;
  }
  await new Promise((resolve) => setTimeout(resolve, 100));
}
console.log(`\nThe screen after the act, the click drawn as a numbered ring: ${path.join(trace, "step-003-1.png")}`);
console.log(`The whole session, step by step, to open in a browser: ${path.join(trace, "index.html")}`);
await client.close();
