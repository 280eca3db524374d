// A record of the session for a person to look at: every call with its arguments, its reply and
// how long it took, the images beside it, and one HTML page (index.html) that shows the steps in
// order from the folder alone, images as files next to it. Writing happens after the call has
// answered, one write after another; a failed write is said once on standard error and never
// changes a call's result.
import { existsSync, mkdirSync, renameSync, writeFileSync } from "node:fs";
import { writeFile, rename } from "node:fs/promises";
import path from "node:path";

import type { CallToolResult } from "@modelcontextprotocol/sdk/types.js";

export type TracedImage = { png: Buffer; caption: string };

export type Step = {
  tool: string;
  args: unknown;
  result: CallToolResult;
  started: Date;
  milliseconds: number;
  images: TracedImage[];
};

function escape(text: string): string {
  return text.replace(/[&<>"]/g, (character) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;" })[character]!);
}

const style = `
body { font: 14px/1.4 sans-serif; margin: 16px; background: #f6f6f6; color: #111; }
section { background: #fff; border: 1px solid #ccc; margin: 0 0 16px; }
h2 { margin: 0; padding: 6px 10px; font-size: 16px; color: #fff; background: #1f5fbf; }
h2.error { background: #b3261e; }
.body { padding: 8px 10px; }
pre { background: #f0f0f0; padding: 6px; overflow: auto; white-space: pre-wrap; margin: 4px 0; }
pre.reply { max-height: 16em; }
img { max-width: min(100%, 960px); border: 1px solid #999; display: block; margin: 4px 0; }
figcaption { color: #555; }
`;

export class Trace {
  private readonly sections: string[] = [];
  private writing: Promise<void> = Promise.resolve();
  private complained = false;
  private readonly opened = new Date();

  // Makes the folder and writes the empty page, or throws saying why the folder cannot be used.
  constructor(readonly folder: string) {
    makeFolders(path.resolve(folder));
    const page = path.join(folder, "index.html");
    writeFileSync(page + ".new", this.page());
    renameSync(page + ".new", page);
  }

  record(step: Step): void {
    const number = this.sections.length + 1;
    const stem = `step-${String(number).padStart(3, "0")}`;
    const files: Array<[string, Buffer | string]> = step.images.map((image, index) => [`${stem}-${index + 1}.png`, image.png]);
    files.push([`${stem}.json`, JSON.stringify({ tool: step.tool, arguments: step.args, result: withoutImages(step.result) }, null, 1)]);
    this.sections.push(this.section(number, stem, step));
    const page = this.page();
    this.writing = this.writing.then(async () => {
      try {
        for (const [name, bytes] of files) {
          await writeFile(path.join(this.folder, name), bytes);
        }
        const target = path.join(this.folder, "index.html");
        await writeFile(target + ".new", page);
        await rename(target + ".new", target);
      } catch (error) {
        if (!this.complained) {
          this.complained = true;
          process.stderr.write(`quorvel-mcp: the trace in ${this.folder} could not be written: ${(error as Error).message}\n`);
        }
      }
    });
  }

  // Resolves once everything recorded so far is on disk.
  flushed(): Promise<void> {
    return this.writing;
  }

  private section(number: number, stem: string, step: Step): string {
    const failed = step.result.isError === true;
    const text = (step.result.content ?? [])
      .filter((item) => item.type === "text")
      .map((item) => (item as { text: string }).text)
      .join("\n");
    const figures = step.images
      .map((image, index) => `<figure><img src="${stem}-${index + 1}.png" alt="${escape(image.caption)}"><figcaption>${escape(image.caption)}</figcaption></figure>`)
      .join("\n");
    return `<section id="${stem}">
<h2 class="${failed ? "error" : "ok"}">${number}. ${escape(step.tool)} — ${(step.milliseconds / 1000).toFixed(2)} s${failed ? " — error" : ""}</h2>
<div class="body">
<div>${escape(step.started.toISOString())}; the raw reply: <a href="${stem}.json">${stem}.json</a></div>
<pre class="arguments">${escape(JSON.stringify(step.args, null, 1))}</pre>
${figures}
<pre class="reply">${escape(text)}</pre>
</div>
</section>`;
  }

  private page(): string {
    return `<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>quorvel-mcp trace</title><style>${style}</style></head>
<body>
<h1>quorvel-mcp trace of ${escape(this.opened.toISOString())}: ${this.sections.length} calls</h1>
${this.sections.join("\n")}
</body></html>
`;
  }
}

// Folder by folder: Node's recursive mkdir never ends on some paths (one under /proc).
function makeFolders(folder: string): void {
  if (existsSync(folder)) {
    return;
  }
  makeFolders(path.dirname(folder));
  mkdirSync(folder);
}

// The reply without its base64 images, which are files of their own.
function withoutImages(result: CallToolResult): unknown {
  return { ...result, content: (result.content ?? []).map((item) => (item.type === "image" ? { type: "image", mimeType: item.mimeType } : item)) };
}
