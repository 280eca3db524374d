// The server's own command-line options for its tools:
//   --allow-launch     offers the `launch` tool (off by default: the server's users decide whether
//                      a model may start programs)
//   --trace FOLDER     records every call in FOLDER, with a page index.html to look at
// Other arguments are left for the transport's options.
import { OptionError } from "./options.js";

export const toolUsage =
  "       with either: --allow-launch (offers the launch tool), --trace FOLDER (records every call there)";

export type ToolOptions = { allowLaunch: boolean; traceFolder: string | null; rest: string[] };

export function parseToolOptions(argv: string[]): ToolOptions {
  const options: ToolOptions = { allowLaunch: false, traceFolder: null, rest: [] };
  for (let at = 0; at < argv.length; at++) {
    const argument = argv[at];
    if (argument === "--allow-launch") {
      options.allowLaunch = true;
    } else if (argument === "--trace") {
      const folder = argv[++at];
      if (folder === undefined || folder === "") {
        throw new OptionError("--trace needs a folder");
      }
      options.traceFolder = folder;
    } else if (argument.startsWith("--trace=")) {
      options.traceFolder = argument.slice("--trace=".length);
      if (options.traceFolder === "") {
        throw new OptionError("--trace needs a folder");
      }
    } else {
      options.rest.push(argument);
    }
  }
  return options;
}
