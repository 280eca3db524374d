// The server's command line: stdio by default; with --http, Streamable HTTP on an address, with a
// bearer token that never appears on the command line itself (`ps` shows every argument).
import { readFileSync } from "node:fs";

export type HttpOptions = {
  host: string;
  port: number;
  token: string;
  // Exact origins ("https://agents.example.com") a browser may call from, besides localhost's.
  allowedOrigins: string[];
};

export type Options = { transport: "stdio" } | ({ transport: "http" } & HttpOptions);

export const tokenVariable = "QUORVEL_MCP_TOKEN";
export const shortestToken = 16;

export const usage =
  "usage: quorvel-mcp                        MCP over standard input and output\n" +
  "       quorvel-mcp --http PORT [--host ADDRESS] [--token-file FILE] [--allowed-origin ORIGIN]...\n" +
  `                                          MCP over Streamable HTTP at /mcp; the bearer token is the\n` +
  `                                          first line of FILE, or ${tokenVariable}`;

export class OptionError extends Error {}

function tokenFrom(file: string | undefined, variable: string | undefined): string {
  if (file !== undefined && variable !== undefined) {
    throw new OptionError(`give the token either with --token-file or in ${tokenVariable}, not both`);
  }
  let token: string;
  if (file !== undefined) {
    try {
      token = readFileSync(file, "utf8").split("\n")[0].trim();
    } catch (error) {
      throw new OptionError(`cannot read the token file: ${(error as Error).message}`);
    }
  } else if (variable !== undefined) {
    token = variable.trim();
  } else {
    throw new OptionError(`--http needs a bearer token: --token-file FILE or ${tokenVariable}`);
  }
  if (token.length < shortestToken) {
    throw new OptionError(`the bearer token must have at least ${shortestToken} characters`);
  }
  return token;
}

function originOf(text: string): string {
  let url: URL;
  try {
    url = new URL(text);
  } catch {
    throw new OptionError(`--allowed-origin takes an origin such as https://agents.example.com, not '${text}'`);
  }
  if (url.origin === "null" || url.origin !== text.replace(/\/$/, "")) {
    throw new OptionError(`--allowed-origin takes an origin such as https://agents.example.com, not '${text}'`);
  }
  return url.origin;
}

export function parseOptions(args: string[], env: NodeJS.ProcessEnv): Options {
  let port: number | undefined;
  let host = "127.0.0.1";
  let tokenFile: string | undefined;
  const allowedOrigins: string[] = [];
  for (let i = 0; i < args.length; i++) {
    const name = args[i];
    const value = (): string => {
      if (i + 1 >= args.length) {
        throw new OptionError(`${name} needs a value`);
      }
      return args[++i];
    };
    switch (name) {
      case "--http": {
        const text = value();
        port = Number(text);
        if (!/^\d+$/.test(text) || port > 65535) {
          throw new OptionError(`--http takes a port from 0 to 65535, not '${text}'`);
        }
        break;
      }
      case "--host":
        host = value();
        break;
      case "--token-file":
        tokenFile = value();
        break;
      case "--allowed-origin":
        allowedOrigins.push(originOf(value()));
        break;
      default:
        throw new OptionError(`unknown argument '${name}'`);
    }
  }
  if (port === undefined) {
    if (args.length > 0) {
      throw new OptionError("--host, --token-file and --allowed-origin go with --http");
    }
    return { transport: "stdio" };
  }
  return { transport: "http", host, port, token: tokenFrom(tokenFile, env[tokenVariable]), allowedOrigins };
}
