// Where the programs this server runs are: the driver named by the server's own environment
// variable, QUORVEL_MCP_DRIVER, or found next to the server or on PATH; quorvel-capture next to
// the driver, next to the server or on PATH.
import { accessSync, constants } from "node:fs";
import path from "node:path";

function executable(candidate: string): boolean {
  try {
    accessSync(candidate, constants.X_OK);
    return true;
  } catch {
    return false;
  }
}

// The first of the folders, then of PATH's, that holds an executable `name`; null when none does.
export function findProgram(name: string, folders: string[]): string | null {
  const path_ = (process.env.PATH ?? "").split(path.delimiter).filter((folder) => folder !== "");
  for (const folder of [...folders, ...path_]) {
    const candidate = path.join(folder, name);
    if (executable(candidate)) {
      return path.resolve(candidate);
    }
  }
  return null;
}

export function findDriver(serverFolder: string): string | null {
  const named = process.env.QUORVEL_MCP_DRIVER;
  if (named) {
    return executable(named) ? path.resolve(named) : null;
  }
  return findProgram("quorvel-computer", [serverFolder]);
}
