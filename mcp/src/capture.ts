// Runs quorvel-capture: what region it would capture and at which scale, then the PNG itself.
import { execFile } from "node:child_process";

export type CaptureInfo = {
  x: number;
  y: number;
  width: number;
  height: number;
  scale: number;
  png_width: number;
  png_height: number;
};

export type CaptureOutcome =
  | { kind: "image"; info: CaptureInfo; png: Buffer }
  | { kind: "failed"; message: string };

// Another client can hold the X server grabbed; a capture waits for it this long at most.
const captureTimeoutMilliseconds = 15000;

function run(capture: string, args: string[]): Promise<{ status: number; out: Buffer; timedOut: boolean }> {
  return new Promise((resolve) => {
    const options = { encoding: "buffer" as const, maxBuffer: 256 * 1024 * 1024, timeout: captureTimeoutMilliseconds };
    execFile(capture, args, options, (error, out) => {
      const status = error ? (typeof error.code === "number" ? error.code : -1) : 0;
      resolve({ status, out: out ?? Buffer.alloc(0), timedOut: error?.killed === true });
    });
  });
}

// The error line quorvel-capture writes when it fails, or a description of its failure.
function failure({ status, out, timedOut }: { status: number; out: Buffer; timedOut: boolean }): string {
  if (timedOut) {
    return `quorvel-capture took more than ${captureTimeoutMilliseconds / 1000} s (another client may hold the X server); no screenshot`;
  }
  try {
    const reply = JSON.parse(out.toString("utf8")) as { error?: unknown };
    if (typeof reply.error === "string") {
      return reply.error;
    }
  } catch {
    // not its error line
  }
  return status === -1
    ? "quorvel-capture could not be started"
    : `quorvel-capture failed with status ${status}`;
}

export async function captureScreen(
  capture: string,
  region: { x: number; y: number; width: number; height: number } | null,
  maxWidth: number,
): Promise<CaptureOutcome> {
  const args = ["--max-width", String(maxWidth)];
  if (region) {
    args.push("--region", ...[region.x, region.y, region.width, region.height].map((v) => String(Math.round(v))));
  }
  const asked = await run(capture, [...args, "--info"]);
  if (asked.status !== 0) {
    return { kind: "failed", message: failure(asked) };
  }
  const info = JSON.parse(asked.out.toString("utf8")) as CaptureInfo;
  const taken = await run(capture, args);
  if (taken.status !== 0) {
    return { kind: "failed", message: failure(taken) };
  }
  return { kind: "image", info, png: taken.out };
}
