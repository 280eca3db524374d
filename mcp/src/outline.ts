// The reply as a compact outline a model reads cheaply: windows one per line, the tree one node
// per line, indented by depth, and the focused element.
import type { DriverReply } from "./driver.js";

type Node = Record<string, unknown>;

function quoted(text: string, limit = 80): string {
  const cut = text.length > limit ? text.slice(0, limit) + "…" : text;
  return JSON.stringify(cut);
}

function number(value: unknown): string {
  return typeof value === "number" ? String(Math.round(value * 10) / 10) : "?";
}

function place(node: Node): string {
  const position = node.AXPosition as Node | undefined;
  const size = node.AXSize as Node | undefined;
  if (!position || !size) {
    return "";
  }
  return ` at ${number(position.x)},${number(position.y)} size ${number(size.width)}x${number(size.height)}`;
}

function nodeLine(node: Node): string {
  const parts = [String(node.AXRole ?? "?")];
  if (typeof node.AXTitle === "string" && node.AXTitle !== "") {
    parts.push(quoted(node.AXTitle));
  }
  if (node.AXValue !== undefined && node.AXValue !== "") {
    parts.push(`value=${typeof node.AXValue === "string" ? quoted(node.AXValue) : String(node.AXValue)}`);
  }
  let line = parts.join(" ") + place(node);
  if (node.AXFocused === true) {
    line += " focused";
  }
  if (node.truncated === true) {
    line += " (more not shown)";
  }
  return line;
}

function treeLines(node: Node, depth: number, lines: string[]): void {
  if (Object.keys(node).some((key) => key.startsWith("AX"))) {
    lines.push("  ".repeat(depth) + nodeLine(node));
  } else if (node.truncated === true) {
    lines.push("  ".repeat(depth) + "(more not shown)");
  }
  for (const child of (node.children as Node[] | undefined) ?? []) {
    treeLines(child, depth + 1, lines);
  }
}

export function outline(reply: DriverReply): string {
  const lines: string[] = ["windows, front to back:"];
  for (const window of (reply.windows as Node[] | undefined) ?? []) {
    const bounds = (window.bounds as Node | undefined) ?? {};
    lines.push(
      `  pid ${window.pid} ${quoted(String(window.app ?? ""))} ${quoted(String(window.title ?? ""))}` +
        ` at ${number(bounds.X)},${number(bounds.Y)} size ${number(bounds.Width)}x${number(bounds.Height)}` +
        ` window_id ${window.window_id}`,
    );
  }
  lines.push(
    `frontmost pid: ${reply.foreground_pid}; accessibility: ${reply.accessibility}; ` +
      `screen capture: ${reply.screen_capture}`,
  );
  const tree = reply.accessibility_tree as Node | undefined;
  if (tree) {
    lines.push("accessibility tree:");
    if (Object.keys(tree).length === 0) {
      lines.push("  (nothing of the target can be read)");
    }
    treeLines(tree, 1, lines);
  }
  const focused = reply.focused_element as Node | undefined;
  if (focused) {
    lines.push(`focused element (${reply.focused_element_source}): ${nodeLine(focused)}`);
  }
  return lines.join("\n");
}
