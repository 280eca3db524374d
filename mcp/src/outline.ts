// The reply as a lean outline a model reads cheaply: windows one per line, then the target's
// elements one per line, each with a number that `act` and the screenshot marks take, a short role,
// its centre, its name and value; then the focused element.
import type { DriverReply } from "./driver.js";

type Node = Record<string, unknown>;

export type Frame = { x: number; y: number; width: number; height: number };

export type Element = {
  number: number;
  role: string;
  name: string;
  value: string;
  focused: boolean;
  frame: Frame | null;
  // A container or separator with nothing of its own to read or act on: no name, no value, not
  // focused. Its line leaves out its centre.
  anonymous: boolean;
};

// Short words for the roles whose names cost more than one token; the rest lose their "AX".
const shortRoles: Record<string, string> = {
  AXRadioButton: "radio",
  AXComboBox: "combo",
  AXTextField: "entry",
  AXTextArea: "textarea",
  AXPopUpButton: "popup",
  AXStaticText: "text",
  AXBusyIndicator: "spinner",
  AXProgressIndicator: "progress",
  AXLevelIndicator: "level",
  AXScrollArea: "scroll",
  AXScrollBar: "scrollbar",
  AXTabGroup: "tabs",
  AXMenuBar: "menubar",
  AXMenuItem: "item",
  AXMenuButton: "menubutton",
  AXWebArea: "document",
  AXApplicationAlert: "alert",
  AXSplitGroup: "split",
  AXColorWell: "color",
  AXHelpTag: "tooltip",
  AXOutline: "tree",
};

const containerRoles = new Set(["AXGroup", "AXSplitter", "AXScrollArea", "AXSplitGroup", "AXToolbar", "AXTabGroup", "AXList", "AXOutline", "AXTable", "AXRow", "AXMenuBar", "AXApplication"]);

function shortRole(role: string): string {
  return shortRoles[role] ?? role.replace(/^AX/, "").toLowerCase();
}

// One line of text at most `limit` characters long.
function clip(text: string, limit = 60): string {
  const flat = text.replace(/\s+/g, " ").trim();
  return flat.length > limit ? flat.slice(0, limit) + "…" : flat;
}

function frameOf(node: Node): Frame | null {
  const position = node.AXPosition as { x?: unknown; y?: unknown } | undefined;
  const size = node.AXSize as { width?: unknown; height?: unknown } | undefined;
  if (!position || !size) {
    return null;
  }
  const [x, y, width, height] = [position.x, position.y, size.width, size.height];
  if (typeof x !== "number" || typeof y !== "number" || typeof width !== "number" || typeof height !== "number") {
    return null;
  }
  return { x, y, width, height };
}

export function centre(frame: Frame): { x: number; y: number } {
  return { x: Math.round(frame.x + frame.width / 2), y: Math.round(frame.y + frame.height / 2) };
}

function element(node: Node, number: number): Element {
  const role = String(node.AXRole ?? "?");
  const title = typeof node.AXTitle === "string" ? node.AXTitle : "";
  const description = typeof node.AXDescription === "string" ? node.AXDescription : "";
  const name = title || description;
  const value = node.AXValue === undefined || node.AXValue === null ? "" : String(node.AXValue);
  const focused = node.AXFocused === true;
  return {
    number,
    role,
    name,
    value,
    focused,
    frame: frameOf(node),
    anonymous: containerRoles.has(role) && name === "" && value === "" && !focused,
  };
}

// The tree's elements numbered in document order from 1: the same reply always gives the same
// numbers. Entries that are null stand for a cut list's "more not shown".
export function numberElements(reply: DriverReply): Array<Element | null> {
  const found: Array<Element | null> = [];
  let next = 1;
  const walk = (node: Node): void => {
    if (Object.keys(node).some((key) => key.startsWith("AX"))) {
      found.push(element(node, next++));
    }
    if (node.truncated === true) {
      found.push(null);
    }
    for (const child of (node.children as Node[] | undefined) ?? []) {
      walk(child);
    }
  };
  const tree = reply.accessibility_tree as Node | undefined;
  if (tree) {
    walk(tree);
  }
  return found;
}

// "12 button 340,27 Close", "20 entry 175,78 =hello focused", "3 group".
export function elementLine(entry: Element, numbered = true): string {
  let line = (numbered ? `${entry.number} ` : "") + shortRole(entry.role);
  if (entry.frame && !entry.anonymous) {
    const { x, y } = centre(entry.frame);
    line += ` ${x},${y}`;
  }
  const name = clip(entry.name);
  const value = clip(entry.value);
  if (name) {
    line += ` ${name}`;
  }
  if (value && value !== name) {
    line += ` =${value}`;
  }
  return entry.focused ? line + " focused" : line;
}

function bounds(value: unknown): string {
  const { X, Y, Width, Height } = (value ?? {}) as Record<string, unknown>;
  return `${X},${Y} ${Width}x${Height}`;
}

// A text in quotes only where spaces or quotes would make it ambiguous.
function word(text: string): string {
  const flat = clip(text);
  return flat !== "" && !/[\s"]/.test(flat) ? flat : JSON.stringify(flat);
}

export function outline(reply: DriverReply, elements: Array<Element | null> = numberElements(reply)): string {
  const lines: string[] = ["windows, front first (pid app title x,y size id):"];
  for (const window of (reply.windows as Node[] | undefined) ?? []) {
    lines.push(`${window.pid} ${word(String(window.app ?? ""))} ${word(String(window.title ?? ""))} ${bounds(window.bounds)} ${window.window_id}`);
  }
  lines.push(`frontmost ${reply.foreground_pid}, accessibility ${reply.accessibility}, screen capture ${reply.screen_capture}`);
  const tree = reply.accessibility_tree as Node | undefined;
  if (tree) {
    lines.push("elements (number role x,y name =value):");
    if (elements.length === 0) {
      lines.push("(nothing of the target can be read)");
    }
    for (const entry of elements) {
      lines.push(entry ? elementLine(entry) : "(more not shown)");
    }
  }
  const focused = reply.focused_element as Node | undefined;
  if (focused) {
    // The element itself when the tree holds it; its line says the rest.
    const inTree = elements.find((entry) => entry?.focused && entry.role === focused.AXRole);
    lines.push(`focused: ${inTree ? inTree.number : elementLine(element(focused, 0), false)}`);
  }
  return lines.join("\n");
}
