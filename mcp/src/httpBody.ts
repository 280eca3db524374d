// Reads a request body up to a bound. A body over it is not kept: the rest is read and dropped, so
// that the client, still sending, receives the refusal rather than a reset connection.
import type { IncomingMessage } from "node:http";

// A batch of 20 actions, each a long text to type, stays far below this.
export const maximumBodyBytes = 1024 * 1024;

export type Body = { kind: "read"; text: string } | { kind: "too large" } | { kind: "broken" };

export function readBody(request: IncomingMessage, limit = maximumBodyBytes): Promise<Body> {
  return new Promise((resolve) => {
    const declared = Number(request.headers["content-length"] ?? "0");
    if (declared > limit) {
      request.resume();
      resolve({ kind: "too large" });
      return;
    }
    const chunks: Buffer[] = [];
    let size = 0;
    request.on("data", (chunk: Buffer) => {
      size += chunk.length;
      if (size > limit) {
        chunks.length = 0;
        resolve({ kind: "too large" });
      } else {
        chunks.push(chunk);
      }
    });
    request.on("end", () => {
      if (size <= limit) {
        resolve({ kind: "read", text: Buffer.concat(chunks).toString("utf8") });
      }
    });
    request.on("error", () => resolve({ kind: "broken" }));
  });
}
