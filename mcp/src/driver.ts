// Runs quorvel-computer once: one request in, one reply line out.
import { spawn } from "node:child_process";

export type DriverReply = Record<string, unknown>;

export type DriverOutcome =
  | { kind: "reply"; reply: DriverReply }
  | { kind: "failed"; message: string };

export const cancelledBeforeItBegan =
  "Computer request cancelled before the driver began; no input sent. Observe before retrying.";

// `signal` cancels: the driver is sent SIGTERM and answers with its own cancelled reply. Node
// cannot start a child with SIGTERM blocked, so a driver signalled before its handlers were in
// place dies of it without a reply: that is a cancellation before the driver began.
export function runDriver(
  driver: string,
  request: unknown,
  signal?: AbortSignal,
): Promise<DriverOutcome> {
  return new Promise((resolve) => {
    if (signal?.aborted) {
      resolve({ kind: "failed", message: cancelledBeforeItBegan });
      return;
    }
    const child = spawn(driver, [], { stdio: ["pipe", "pipe", "pipe"] });
    const out: Buffer[] = [];
    const err: Buffer[] = [];
    child.stdout.on("data", (chunk: Buffer) => out.push(chunk));
    child.stderr.on("data", (chunk: Buffer) => err.push(chunk));
    const cancel = () => child.kill("SIGTERM");
    signal?.addEventListener("abort", cancel, { once: true });
    let spawnError: Error | null = null;
    child.on("error", (error) => {
      spawnError = error;
    });
    child.stdin.on("error", () => undefined); // a driver that ended early stops reading
    child.on("close", (code, killedBy) => {
      signal?.removeEventListener("abort", cancel);
      if (spawnError) {
        resolve({ kind: "failed", message: `quorvel-computer could not be started: ${spawnError.message}` });
        return;
      }
      const text = Buffer.concat(out).toString("utf8");
      if (text === "" && (killedBy === "SIGTERM" || killedBy === "SIGINT") && signal?.aborted) {
        resolve({ kind: "failed", message: cancelledBeforeItBegan });
        return;
      }
      const lines = text.split("\n");
      const reply = lines.length === 2 && lines[1] === "" ? parse(lines[0]) : null;
      if (!reply) {
        const how = killedBy ? `was killed by ${killedBy}` : `exited with status ${code}`;
        const stderr = Buffer.concat(err).toString("utf8").trim();
        resolve({
          kind: "failed",
          message:
            `quorvel-computer gave no reply line (it ${how}): ` +
            JSON.stringify(text.slice(0, 200)) +
            (stderr ? `; it said on standard error: ${stderr.slice(0, 200)}` : ""),
        });
        return;
      }
      resolve({ kind: "reply", reply });
    });
    child.stdin.end(JSON.stringify(request));
  });
}

function parse(line: string): DriverReply | null {
  try {
    const value: unknown = JSON.parse(line);
    return value && typeof value === "object" && !Array.isArray(value) && "ok" in value
      ? (value as DriverReply)
      : null;
  } catch {
    return null;
  }
}
