// What the HTTP tests share: the server started with --http on a free loopback port, the SDK's
// client over Streamable HTTP, and the server's running drivers.
import { type ChildProcess, spawn } from "node:child_process";
import { randomBytes } from "node:crypto";
import { mkdtempSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";

import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StreamableHTTPClientTransport } from "@modelcontextprotocol/sdk/client/streamableHttp.js";

import { serverScript } from "./support.js";

export type HttpServer = { url: string; token: string; child: ChildProcess; stop: () => Promise<void> };

export async function startHttpServer(env: Record<string, string>, args: string[] = []): Promise<HttpServer> {
  const token = randomBytes(24).toString("hex");
  const tokenFile = path.join(mkdtempSync(path.join(tmpdir(), "quorvel-mcp-token-")), "token");
  writeFileSync(tokenFile, `${token}\n`, { mode: 0o600 });
  const child = spawn(process.execPath, [serverScript, "--http", "0", "--token-file", tokenFile, ...args], {
    env: { ...process.env, ...env },
    stdio: ["ignore", "ignore", "pipe"],
  });
  const url = await new Promise<string>((resolve, reject) => {
    let said = "";
    child.stderr!.on("data", (chunk: Buffer) => {
      said += chunk.toString("utf8");
      const found = /serving MCP on (\S+)/.exec(said);
      if (found) {
        resolve(found[1]);
      }
    });
    child.once("exit", (code) => reject(new Error(`the server exited with ${code}: ${said}`)));
  });
  const stop = async (): Promise<void> => {
    if (child.exitCode === null) {
      const exited = new Promise((resolve) => child.once("exit", resolve));
      child.kill("SIGTERM");
      await exited;
    }
  };
  return { url, token, child, stop };
}

export async function connectHttp(url: string, token: string): Promise<{ client: Client; transport: StreamableHTTPClientTransport }> {
  const client = new Client({ name: "quorvel-mcp-http-tests", version: "0.1.0" });
  const transport = new StreamableHTTPClientTransport(new URL(url), {
    requestInit: { headers: { Authorization: `Bearer ${token}` } },
  });
  await client.connect(transport);
  return { client, transport };
}

// The pids of the processes whose parent is `parent` and whose name starts with `name` (the
// kernel keeps 15 characters of it).
export function childrenNamed(parent: number, name: string): number[] {
  const found: number[] = [];
  for (const entry of readdirSync("/proc")) {
    if (!/^\d+$/.test(entry)) {
      continue;
    }
    try {
      const stat = readFileSync(`/proc/${entry}/stat`, "utf8");
      const command = stat.slice(stat.indexOf("(") + 1, stat.lastIndexOf(")"));
      const fields = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
      if (Number(fields[1]) === parent && fields[0] !== "Z" && name.slice(0, 15) === command) {
        found.push(Number(entry));
      }
    } catch {
      // gone meanwhile
    }
  }
  return found;
}

// Polls `condition` every 20 ms until it holds or `seconds` have passed; whether it held.
export async function eventually(condition: () => boolean, seconds: number): Promise<boolean> {
  const deadline = Date.now() + seconds * 1000;
  while (!condition()) {
    if (Date.now() > deadline) {
      return false;
    }
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  return true;
}
