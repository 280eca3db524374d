// The server over Streamable HTTP without a desktop: the options it refuses to start with, every
// refusal with its status (nothing run, the server serving on), and two clients sharing the turns.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { existsSync, readFileSync, rmSync } from "node:fs";
import { request } from "node:http";
import { after, before, test } from "node:test";

import { OptionError, parseOptions } from "../src/options.js";
import { connectHttp, type HttpServer, startHttpServer } from "./httpSupport.js";
import { fakeDriver, serverScript, textOf } from "./support.js";

const observation =
  '{"accessibility":false,"coordinate_space":"global macOS logical points; top-left origin","foreground_pid":0,"ok":true,"screen_capture":false,"windows":[]}';

type Reply = { status: number; headers: Record<string, string | string[] | undefined>; body: string };

// One HTTP request, headers exactly as given (fetch would add an Origin or fix the Host).
function raw(url: string, method: string, headers: Record<string, string>, body?: string | Buffer): Promise<Reply> {
  return new Promise((resolve, reject) => {
    const sent = request(url, { method, headers }, (response) => {
      const chunks: Buffer[] = [];
      response.on("data", (chunk: Buffer) => chunks.push(chunk));
      response.on("end", () => resolve({ status: response.statusCode!, headers: response.headers, body: Buffer.concat(chunks).toString("utf8") }));
    });
    sent.on("error", reject);
    sent.end(body);
  });
}

test("the options refuse a missing, short or doubly given token, and take none from the command line", () => {
  const token = "abcdefghijklmnopqrstuvwxyz";
  const cases: Array<{ args: string[]; env?: Record<string, string>; says: RegExp }> = [
    { args: ["--http", "0"], says: /needs a bearer token: --token-file FILE or QUORVEL_MCP_TOKEN/ },
    { args: ["--http", "0"], env: { QUORVEL_MCP_TOKEN: "  short \n" }, says: /at least 16 characters/ },
    { args: ["--http", "0", "--token-file", "/nonexistent/token"], says: /cannot read the token file/ },
    { args: ["--http", "0", "--token-file", "/dev/null"], env: { QUORVEL_MCP_TOKEN: token }, says: /not both/ },
    { args: ["--http", "0", "--token", token], env: { QUORVEL_MCP_TOKEN: token }, says: /unknown argument '--token'/ },
    { args: ["--http", "70000"], env: { QUORVEL_MCP_TOKEN: token }, says: /port from 0 to 65535/ },
    { args: ["--http", "-1"], env: { QUORVEL_MCP_TOKEN: token }, says: /port from 0 to 65535/ },
    { args: ["--http"], env: { QUORVEL_MCP_TOKEN: token }, says: /--http needs a value/ },
    { args: ["--host", "0.0.0.0"], says: /go with --http/ },
    { args: ["--http", "0", "--allowed-origin", "https://a.example/path"], env: { QUORVEL_MCP_TOKEN: token }, says: /takes an origin/ },
    { args: ["--http", "0", "--allowed-origin", "*"], env: { QUORVEL_MCP_TOKEN: token }, says: /takes an origin/ },
  ];
  for (const { args, env, says } of cases) {
    assert.throws(() => parseOptions(args, env ?? {}), (error: Error) => error instanceof OptionError && says.test(error.message), args.join(" "));
  }
  assert.deepEqual(parseOptions([], { QUORVEL_MCP_TOKEN: token }), { transport: "stdio" });
  assert.deepEqual(parseOptions(["--http", "8765", "--host", "0.0.0.0", "--allowed-origin", "https://a.example:8443/"], { QUORVEL_MCP_TOKEN: ` ${token}\n` }), {
    transport: "http",
    host: "0.0.0.0",
    port: 8765,
    token,
    allowedOrigins: ["https://a.example:8443"],
  });
  // The process says why and stops with status 2.
  const environment = { ...process.env };
  delete environment.QUORVEL_MCP_TOKEN;
  const ran = spawnSync(process.execPath, [serverScript, "--http", "0"], { env: environment, encoding: "utf8", timeout: 30000 });
  assert.equal(ran.status, 2);
  assert.match(ran.stderr, /^quorvel-mcp: --http needs a bearer token/);
});

let server: HttpServer;
let fake: { path: string; log: string };

before(async () => {
  fake = fakeDriver(observation, 0.3);
  server = await startHttpServer({ QUORVEL_MCP_DRIVER: fake.path }, ["--allowed-origin", "https://agents.example.com"]);
});

after(async () => {
  await server?.stop();
});

test("each refused request gets its status, starts no driver, and the server serves on", async () => {
  const { client, transport } = await connectHttp(server.url, server.token);
  const session = transport.sessionId!;
  const good = { Authorization: `Bearer ${server.token}`, "Content-Type": "application/json", Accept: "application/json, text/event-stream" };
  const inSession = { ...good, "Mcp-Session-Id": session, "Mcp-Protocol-Version": "2025-06-18" };
  const act = JSON.stringify({ jsonrpc: "2.0", id: 77, method: "tools/call", params: { name: "act", arguments: { pid: 1, actions: [{ type: "wait" }] } } });
  const port = new URL(server.url).port;
  const cases: Array<{ why: string; headers: Record<string, string>; body?: string | Buffer; method?: string; path?: string; status: number }> = [
    { why: "no token", headers: { ...inSession, Authorization: "" }, body: act, status: 401 },
    { why: "a wrong token", headers: { ...inSession, Authorization: `Bearer ${server.token.slice(0, -1)}x` }, body: act, status: 401 },
    { why: "the token and more", headers: { ...inSession, Authorization: `Bearer ${server.token}x` }, body: act, status: 401 },
    { why: "the token not as a bearer", headers: { ...inSession, Authorization: `Basic ${server.token}` }, body: act, status: 401 },
    { why: "a foreign Origin", headers: { ...inSession, Origin: "http://attacker.example" }, body: act, status: 403 },
    { why: "an allowed Origin's look-alike", headers: { ...inSession, Origin: "https://agents.example.com.attacker.example" }, body: act, status: 403 },
    { why: "a rebound Host name", headers: { ...inSession, Host: `attacker.example:${port}` }, body: act, status: 403 },
    { why: "malformed JSON", headers: inSession, body: '{"jsonrpc": "2.0", "id": 78, "method": "tools/call"', status: 400 },
    { why: "not JSON-RPC", headers: inSession, body: '{"id": 79, "call": "act"}', status: 400 },
    { why: "no session and no initialize", headers: good, body: act, status: 400 },
    { why: "an unknown session", headers: { ...inSession, "Mcp-Session-Id": "00000000-0000-0000-0000-000000000000" }, body: act, status: 404 },
    { why: "a body over 1 MiB", headers: inSession, body: Buffer.alloc(1024 * 1024 + 1, 0x20), status: 413 },
    { why: "a body over 1 MiB, sent without its length", headers: { ...inSession, "Transfer-Encoding": "chunked" }, body: Buffer.alloc(3 * 1024 * 1024, 0x20), status: 413 },
    { why: "another path", headers: inSession, body: act, path: "/other", status: 404 },
  ];
  for (const { why, headers, body, method, path, status } of cases) {
    const url = new URL(path ?? "/mcp", server.url).toString();
    const reply = await raw(url, method ?? "POST", Object.fromEntries(Object.entries(headers).filter(([, value]) => value !== "")), body);
    assert.equal(reply.status, status, `${why}: ${reply.body}`);
    if (status === 401) {
      assert.match(String(reply.headers["www-authenticate"]), /^Bearer/, why);
    }
    assert.equal(existsSync(fake.log), false, `${why}: a driver ran`);
    const served = await client.callTool({ name: "observe", arguments: {} });
    assert.notEqual(served.isError, true, `${why}: then ${textOf(served)}`);
    rmSync(fake.log);
  }
  // A loopback Origin and an allowed one pass: the same call, answered.
  for (const origin of ["http://localhost:3000", "https://agents.example.com"]) {
    const reply = await raw(server.url, "POST", { ...inSession, Origin: origin }, act);
    assert.equal(reply.status, 200, `${origin}: ${reply.body}`);
    assert.match(reply.body, /"id":77/);
    rmSync(fake.log);
  }
  await client.close();
});

test("the SDK's client with a wrong token cannot connect", async () => {
  await assert.rejects(connectHttp(server.url, "0".repeat(48)), /401|Unauthorized/);
});

test("the health endpoint answers without a token", async () => {
  const reply = await raw(new URL("/health", server.url).toString(), "GET", {});
  assert.equal(reply.status, 200);
  assert.equal(JSON.parse(reply.body).ready, true);
});

test("two clients at once are served one driver at a time", async () => {
  const first = await connectHttp(server.url, server.token);
  const second = await connectHttp(server.url, server.token);
  const call = (client: typeof first.client) => client.callTool({ name: "act", arguments: { pid: 1, actions: [{ type: "wait" }] } });
  const results = await Promise.all([call(first.client), call(second.client), call(first.client), call(second.client)]);
  for (const result of results) {
    assert.notEqual(result.isError, true, textOf(result));
  }
  const marks = readFileSync(fake.log, "utf8").trim().split("\n").map((line) => line.split(" ")[0]);
  assert.deepEqual(marks, ["start", "end", "start", "end", "start", "end", "start", "end"]);
  rmSync(fake.log);
  await first.client.close();
  await second.client.close();
});
