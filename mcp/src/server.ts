#!/usr/bin/env node
// quorvel-mcp: a Model Context Protocol server over stdio whose tools run quorvel-computer (and
// quorvel-capture for screenshots). Nothing but MCP messages goes to standard output.
import path from "node:path";
import { fileURLToPath } from "node:url";

import { McpServer } from "@modelcontextprotocol/sdk/server/mcp.js";
import { StdioServerTransport } from "@modelcontextprotocol/sdk/server/stdio.js";

import { findDriver, findProgram } from "./locate.js";
import { registerTools } from "./tools.js";

const here = path.dirname(fileURLToPath(import.meta.url));
const onMac = process.platform === "darwin";
const driver = findDriver(here);
const capture = onMac
  ? null
  : findProgram("quorvel-capture", driver ? [path.dirname(driver), here] : [here]);

const server = new McpServer({ name: "quorvel-mcp", version: "0.1.0" });
registerTools(server, {
  driver,
  capture,
  captureMissing: onMac
    ? "Screenshots are not available on macOS yet: quorvel-capture is built for X11 only."
    : "quorvel-capture was not found next to quorvel-computer, next to the server or on PATH",
});
await server.connect(new StdioServerTransport());
