// What the tests share: a client of the server over stdio, a virtual desktop, fake drivers.
import { execFileSync } from "node:child_process";
import { chmodSync, mkdtempSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";

const here = path.dirname(fileURLToPath(import.meta.url));
export const mcpFolder = path.resolve(here, "../..");
export const repository = path.resolve(mcpFolder, "..");
export const serverScript = path.join(mcpFolder, "dist/src/server.js");
// The driver of the build README's commands make, unless the tests are told another.
export const realDriver = process.env.QUORVEL_TEST_DRIVER ?? path.join(repository, "build/quorvel-computer");

export async function connect(env: Record<string, string>, args: string[] = []): Promise<Client> {
  const client = new Client({ name: "quorvel-mcp-tests", version: "0.1.0" });
  const inherited = Object.fromEntries(
    Object.entries(process.env).filter((entry): entry is [string, string] => entry[1] !== undefined),
  );
  await client.connect(
    new StdioClientTransport({ command: process.execPath, args: [serverScript, ...args], env: { ...inherited, ...env }, stderr: "pipe" }),
  );
  return client;
}

// A driver that records when it ran in `log` and answers `line` after `seconds`.
export function fakeDriver(line: string, seconds = 0): { path: string; log: string } {
  const folder = mkdtempSync(path.join(tmpdir(), "quorvel-mcp-fake-"));
  const log = path.join(folder, "runs");
  const script = path.join(folder, "quorvel-computer");
  writeFileSync(
    script,
    `#!/bin/sh\ncat >/dev/null\necho "start $(date +%s%N)" >>'${log}'\nsleep ${seconds}\n` +
      `printf '%s\\n' '${line}'\necho "end $(date +%s%N)" >>'${log}'\n`,
  );
  chmodSync(script, 0o755);
  return { path: script, log };
}

export type Desktop = { env: Record<string, string>; pids: number[]; stop: () => void };

// A virtual desktop of scripts/desktop.sh with the applications asked for.
export function startDesktop(...apps: string[]): Desktop {
  const script = path.join(repository, "scripts/desktop.sh");
  const printed = execFileSync("bash", [script, "start", ...apps], { encoding: "utf8" });
  const env: Record<string, string> = {};
  for (const line of printed.split("\n")) {
    const found = /^export ([A-Z_]+)='(.*)'$/.exec(line);
    if (found) {
      env[found[1]] = found[2];
    }
  }
  return {
    env,
    pids: (env.QUORVEL_APP_PIDS ?? "").split(" ").filter(Boolean).map(Number),
    stop: () => execFileSync("bash", [script, "stop", env.QUORVEL_DESKTOP]),
  };
}

export function textOf(result: Record<string, unknown>): string {
  const content = (result.content as Array<{ type: string; text?: string }> | undefined) ?? [];
  return content.filter((item) => item.type === "text").map((item) => item.text).join("\n");
}
