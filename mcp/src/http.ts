// MCP over Streamable HTTP at /mcp, one SDK transport and one McpServer per session, all sharing
// one queue of driver runs. Before a request reaches a session it must pass, in this order: the
// Origin and Host check (403), the bearer token (401), the body bound (413) and JSON parsing
// (400); then an unknown session is 404. GET /health answers without a token, for probes.
import { randomUUID, webcrypto } from "node:crypto";
import { createServer, type IncomingMessage, type Server, type ServerResponse } from "node:http";
import type { AddressInfo } from "node:net";

import type { McpServer } from "@modelcontextprotocol/sdk/server/mcp.js";
import { StreamableHTTPServerTransport } from "@modelcontextprotocol/sdk/server/streamableHttp.js";
import { isInitializeRequest, isJSONRPCRequest, type JSONRPCMessage, type RequestId } from "@modelcontextprotocol/sdk/types.js";

import { bearerCheck } from "./httpAuth.js";
import { maximumBodyBytes, readBody } from "./httpBody.js";
import { hostAllowed, isLoopbackAddress, originAllowed } from "./httpOrigin.js";
import type { HttpOptions } from "./options.js";

export type Health = () => { ready: boolean; [detail: string]: unknown };

export type HttpServing = {
  server: Server;
  url: string;
  // Ends every session (their running drivers are cancelled) and stops listening.
  close: () => Promise<void>;
};

type Session = { transport: StreamableHTTPServerTransport; server: McpServer };

// The SDK's transport uses the global `crypto`, which Node.js 18 (Debian 12's, in the desktop
// image) has only behind a flag.
if (globalThis.crypto === undefined) {
  Object.assign(globalThis, { crypto: webcrypto });
}

function refuse(response: ServerResponse, status: number, message: string, headers: Record<string, string> = {}): void {
  // The JSON-RPC error shape the SDK's own refusals use, so that clients read them alike.
  const body = JSON.stringify({ jsonrpc: "2.0", error: { code: status === 400 ? -32700 : -32000, message }, id: null });
  response.writeHead(status, { "Content-Type": "application/json", ...headers });
  response.end(body);
}

function requestIds(message: unknown): RequestId[] {
  const messages = Array.isArray(message) ? message : [message];
  return messages.filter((each) => isJSONRPCRequest(each)).map((each) => (each as { id: RequestId }).id);
}

export async function serveHttp(options: HttpOptions, newServer: () => McpServer, health: Health): Promise<HttpServing> {
  const sessions = new Map<string, Session>();
  const tokenMatches = bearerCheck(options.token);
  const boundToLoopback = isLoopbackAddress(options.host);

  // A client that goes away while its calls run has them cancelled, as a cancellation it sent
  // would: their drivers are sent SIGTERM, or never start if still waiting their turn.
  function cancelOnDisconnect(session: Session, response: ServerResponse, ids: RequestId[]): void {
    response.on("close", () => {
      if (response.writableFinished) {
        return;
      }
      for (const requestId of ids) {
        const cancelled: JSONRPCMessage = {
          jsonrpc: "2.0",
          method: "notifications/cancelled",
          params: { requestId, reason: "The client disconnected" },
        };
        session.transport.onmessage?.(cancelled);
      }
    });
  }

  async function openSession(): Promise<Session> {
    const server = newServer();
    const transport: StreamableHTTPServerTransport = new StreamableHTTPServerTransport({
      sessionIdGenerator: () => randomUUID(),
      onsessioninitialized: (id) => {
        sessions.set(id, session);
      },
    });
    const session = { transport, server };
    transport.onclose = () => {
      if (transport.sessionId) {
        sessions.delete(transport.sessionId);
      }
    };
    await server.connect(transport);
    return session;
  }

  async function handleMcp(request: IncomingMessage, response: ServerResponse): Promise<void> {
    const sessionId = request.headers["mcp-session-id"];
    const known = typeof sessionId === "string" ? sessions.get(sessionId) : undefined;
    if (sessionId !== undefined && !known) {
      refuse(response, 404, "Session not found");
      return;
    }
    if (request.method !== "POST") {
      if (!known) {
        refuse(response, 400, "Bad Request: Mcp-Session-Id header is required");
        return;
      }
      await known.transport.handleRequest(request, response);
      return;
    }
    const body = await readBody(request);
    if (body.kind === "too large") {
      refuse(response, 413, `Payload Too Large: a request body may hold at most ${maximumBodyBytes} bytes`, { Connection: "close" });
      return;
    }
    if (body.kind === "broken") {
      response.destroy();
      return;
    }
    let message: unknown;
    try {
      message = JSON.parse(body.text);
    } catch {
      refuse(response, 400, "Parse error: Invalid JSON");
      return;
    }
    let session = known;
    if (!session) {
      if (!isInitializeRequest(message)) {
        refuse(response, 400, "Bad Request: no Mcp-Session-Id header, and not an initialize request");
        return;
      }
      session = await openSession();
    }
    cancelOnDisconnect(session, response, requestIds(message));
    await session.transport.handleRequest(request, response, message);
  }

  async function handle(request: IncomingMessage, response: ServerResponse): Promise<void> {
    if (!originAllowed(request.headers.origin, options.allowedOrigins) || !hostAllowed(request.headers.host, boundToLoopback)) {
      refuse(response, 403, "Forbidden: this Origin or Host may not call the server");
      return;
    }
    const path = new URL(request.url ?? "/", "http://server").pathname;
    if (path === "/health" && request.method === "GET") {
      const state = health();
      response.writeHead(state.ready ? 200 : 503, { "Content-Type": "application/json" });
      response.end(JSON.stringify(state));
      return;
    }
    if (path !== "/mcp") {
      refuse(response, 404, "Not Found: the MCP endpoint is /mcp");
      return;
    }
    if (!tokenMatches(request.headers.authorization)) {
      refuse(response, 401, "Unauthorized: a valid bearer token is required", { "WWW-Authenticate": 'Bearer realm="quorvel-mcp"' });
      return;
    }
    await handleMcp(request, response);
  }

  const server = createServer((request, response) => {
    handle(request, response).catch((error: Error) => {
      if (!response.headersSent) {
        refuse(response, 500, `Internal error: ${error.message}`);
      } else {
        response.destroy();
      }
    });
  });
  await new Promise<void>((resolve, reject) => {
    server.once("error", reject);
    server.listen(options.port, options.host, () => resolve());
  });
  const address = server.address() as AddressInfo;
  const shownHost = address.family === "IPv6" ? `[${address.address}]` : address.address;
  return {
    server,
    url: `http://${shownHost}:${address.port}/mcp`,
    close: async () => {
      await Promise.all([...sessions.values()].map((session) => session.transport.close()));
      server.closeAllConnections();
      await new Promise((resolve) => server.close(resolve));
    },
  };
}
