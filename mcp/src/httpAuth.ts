// The bearer token check. Both sides are hashed first so that the comparison takes the same time
// whatever the length of what was sent, and timingSafeEqual tells nothing of where they differ.
import { createHash, timingSafeEqual } from "node:crypto";

const digest = (text: string): Buffer => createHash("sha256").update(text, "utf8").digest();

export function bearerCheck(token: string): (authorization: string | undefined) => boolean {
  const expected = digest(token);
  return (authorization) => {
    const given = /^Bearer +(\S+) *$/i.exec(authorization ?? "");
    // A missing header is hashed too, so that it costs what a wrong token costs; tokens are
    // never empty, so it never matches.
    return timingSafeEqual(digest(given ? given[1] : ""), expected);
  };
}
