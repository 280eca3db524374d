#!/usr/bin/env node
// quorvel-mcp: a Model Context Protocol server whose tools run quorvel-computer (and
// quorvel-capture for screenshots), over stdio (nothing but MCP messages goes to standard output)
// or, with --http, over Streamable HTTP.
import path from "node:path";
import { fileURLToPath } from "node:url";

import { McpServer } from "@modelcontextprotocol/sdk/server/mcp.js";
import { StdioServerTransport } from "@modelcontextprotocol/sdk/server/stdio.js";

import { serveHttp } from "./http.js";
import { findDriver, findProgram } from "./locate.js";
import { OptionError, parseOptions, tokenVariable, usage } from "./options.js";
import { parseToolOptions, toolUsage } from "./tool-options.js";
import { newShared, registerTools } from "./tools.js";
import { Trace } from "./trace.js";
import { Turns } from "./turns.js";

const here = path.dirname(fileURLToPath(import.meta.url));
const onMac = process.platform === "darwin";
const driver = findDriver(here);
const capture = onMac
  ? null
  : findProgram("quorvel-capture", driver ? [path.dirname(driver), here] : [here]);

let options;
let shared;
try {
  const toolOptions = parseToolOptions(process.argv.slice(2));
  options = parseOptions(toolOptions.rest, process.env);
  let trace = null;
  if (toolOptions.traceFolder !== null) {
    try {
      trace = new Trace(toolOptions.traceFolder);
    } catch (error) {
      throw new OptionError(`cannot write the trace folder ${toolOptions.traceFolder}: ${(error as Error).message}`);
    }
  }
  shared = newShared({ trace, allowLaunch: toolOptions.allowLaunch });
} catch (error) {
  if (!(error instanceof OptionError)) {
    throw error;
  }
  process.stderr.write(`quorvel-mcp: ${error.message}\n${usage}\n${toolUsage}\n`);
  process.exit(2);
}
// The drivers and the capture program are not given the token.
delete process.env[tokenVariable];

// One queue for every session: the desktop is one.
const turns = new Turns();
const newServer = (): McpServer => {
  const server = new McpServer({ name: "quorvel-mcp", version: "0.1.0" });
  registerTools(
    server,
    {
      driver,
      capture,
      captureMissing: onMac
        ? "Screenshots are not available on macOS yet: quorvel-capture is built for X11 only."
        : "quorvel-capture was not found next to quorvel-computer, next to the server or on PATH",
    },
    turns,
    shared,
  );
  return server;
};

if (options.transport === "stdio") {
  await newServer().connect(new StdioServerTransport());
} else {
  const serving = await serveHttp(options, newServer, () => ({ ready: driver !== null, driver: driver !== null, capture: capture !== null }));
  process.stderr.write(`quorvel-mcp: serving MCP on ${serving.url}\n`);
  // A stop ends every session, which cancels their drivers, and waits for those to end.
  const stop = async (): Promise<void> => {
    await serving.close();
    await turns.run(async () => undefined);
    process.exit(0);
  };
  process.once("SIGTERM", () => void stop());
  process.once("SIGINT", () => void stop());
}
