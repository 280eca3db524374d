// Starting a program for the `launch` tool: an argument vector without a shell, in a session of
// its own so that it outlives the server, then a bounded wait until a window of it or of one of
// its children is on the screen.
import { spawn } from "node:child_process";
import { readdirSync, readFileSync } from "node:fs";

import type { CallToolResult } from "@modelcontextprotocol/sdk/types.js";

import { type DriverReply, runDriver } from "./driver.js";
import type { Turns } from "./turns.js";

export type Started = { kind: "started"; pid: number; exited: () => string | null } | { kind: "failed"; message: string };

export function start(argv: string[]): Promise<Started> {
  return new Promise((resolve) => {
    const child = spawn(argv[0], argv.slice(1), { detached: true, stdio: "ignore" });
    let ended: string | null = null;
    child.on("exit", (code, signal) => {
      ended = signal ? `was killed by ${signal}` : `exited with status ${code}`;
    });
    child.on("error", (error: NodeJS.ErrnoException) => {
      const why = error.code === "ENOENT" ? "no such program" : error.code === "EACCES" ? "not executable" : error.message;
      resolve({ kind: "failed", message: `Could not start ${JSON.stringify(argv[0])}: ${why}; nothing was launched.` });
    });
    child.on("spawn", () => {
      child.unref();
      resolve({ kind: "started", pid: child.pid!, exited: () => ended });
    });
  });
}

// The pid and every process descended from it, as /proc has them now (the pid alone without /proc).
export function family(pid: number): Set<number> {
  const parents = new Map<number, number>();
  let entries: string[] = [];
  try {
    entries = readdirSync("/proc");
  } catch {
    return new Set([pid]);
  }
  for (const entry of entries) {
    if (!/^\d+$/.test(entry)) {
      continue;
    }
    try {
      // The parent follows the command name, which may hold spaces and parentheses.
      const stat = readFileSync(`/proc/${entry}/stat`, "utf8");
      const parent = Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]);
      parents.set(Number(entry), parent);
    } catch {
      // gone meanwhile
    }
  }
  const members = new Set([pid]);
  let grew = true;
  while (grew) {
    grew = false;
    for (const [child, parent] of parents) {
      if (members.has(parent) && !members.has(child)) {
        members.add(child);
        grew = true;
      }
    }
  }
  return members;
}

export type Window = { pid: number; window_id: number; title?: string; app?: string };

export function windowOf(reply: DriverReply, pids: Set<number>): Window | null {
  const windows = (reply.windows as Window[] | undefined) ?? [];
  return windows.find((window) => pids.has(window.pid)) ?? null;
}

const pollMilliseconds = 250;

function failed(message: string): CallToolResult {
  return { isError: true, content: [{ type: "text", text: message }] };
}

// Starts the program and waits, observing the desktop in turn with the other calls, until a
// window of its family shows; then gives the observation of the window's process.
export async function launch(
  driver: string,
  { argv, timeout_seconds }: { argv: string[]; timeout_seconds?: number },
  turns: Turns,
  observe: (pid: number, signal: AbortSignal) => Promise<CallToolResult>,
  signal: AbortSignal,
): Promise<CallToolResult> {
  const started = await start(argv);
  if (started.kind === "failed") {
    return failed(started.message);
  }
  const { pid } = started;
  const seconds = timeout_seconds ?? 30;
  const deadline = Date.now() + seconds * 1000;
  const name = JSON.stringify(argv[0]);
  for (;;) {
    const desktop = await turns.run(() => runDriver(driver, { actions: [] }, signal));
    if (signal.aborted) {
      return failed(`Launch cancelled; ${name} (pid ${pid}) was left running.`);
    }
    const window = desktop.kind === "reply" ? windowOf(desktop.reply, family(pid)) : null;
    if (window) {
      const result = await turns.run(() => observe(window.pid, signal));
      const text = (result.content?.[0] as { text?: string } | undefined)?.text ?? "";
      const whose = window.pid === pid ? "" : ` (its child pid ${window.pid} owns the window)`;
      const launched: CallToolResult = {
        ...result,
        content: [{ type: "text", text: `Launched ${name}: pid ${pid}${whose}, window_id ${window.window_id}.\n${text}` }],
      };
      if (result.structuredContent) {
        launched.structuredContent = { ...result.structuredContent, launched_pid: pid, window_pid: window.pid };
      }
      return launched;
    }
    const ended = started.exited();
    if (ended) {
      return failed(`${name} (pid ${pid}) ${ended} before it showed a window.`);
    }
    if (Date.now() >= deadline) {
      return failed(`${name} (pid ${pid}) showed no window within ${seconds} s; it is still running.`);
    }
    await new Promise((resolve) => setTimeout(resolve, pollMilliseconds));
  }
}
