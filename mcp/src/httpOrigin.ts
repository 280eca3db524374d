// Against DNS rebinding: a page on another site that gets its name resolved to this machine must
// not reach the server through a visitor's browser. Browsers send the page's Origin; other clients
// send none. An Origin is accepted when it is a loopback one (any scheme and port) or one of those
// the operator allowed. A server bound to loopback also accepts only loopback Host names, since a
// rebound name arrives as the Host of a request that may carry no Origin (a same-origin GET).
const loopbackNames = new Set(["localhost", "127.0.0.1", "[::1]"]);

function isLoopbackName(hostname: string): boolean {
  return loopbackNames.has(hostname.toLowerCase()) || /^127\.\d+\.\d+\.\d+$/.test(hostname);
}

export function isLoopbackAddress(address: string): boolean {
  return isLoopbackName(address) || address === "::1";
}

export function originAllowed(origin: string | undefined, allowed: readonly string[]): boolean {
  if (origin === undefined) {
    return true;
  }
  let url: URL;
  try {
    url = new URL(origin);
  } catch {
    return false;
  }
  if ((url.protocol === "http:" || url.protocol === "https:") && isLoopbackName(url.hostname)) {
    return true;
  }
  return url.origin !== "null" && allowed.includes(url.origin);
}

export function hostAllowed(host: string | undefined, boundToLoopback: boolean): boolean {
  if (!boundToLoopback) {
    return true;
  }
  if (host === undefined) {
    return false;
  }
  try {
    return isLoopbackName(new URL(`http://${host}`).hostname);
  } catch {
    return false;
  }
}
