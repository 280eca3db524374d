// What is drawn on screenshots: an observation's elements as numbered boxes, and the pointer
// actions of an act, both placed through the capture's region and scale.
import type { CaptureInfo } from "./capture.js";
import { Canvas, labelSize, palette, pointerColour } from "./drawing.js";
import type { Element, Frame } from "./outline.js";

// The frame in the image's pixels, or null when it lies outside the captured region.
function inImage(frame: Frame, info: CaptureInfo): { left: number; top: number; width: number; height: number } | null {
  const left = Math.round((frame.x - info.x) * info.scale);
  const top = Math.round((frame.y - info.y) * info.scale);
  const right = Math.round((frame.x + frame.width - info.x) * info.scale);
  const bottom = Math.round((frame.y + frame.height - info.y) * info.scale);
  const clippedLeft = Math.max(0, left);
  const clippedTop = Math.max(0, top);
  const clippedRight = Math.min(info.png_width, right);
  const clippedBottom = Math.min(info.png_height, bottom);
  if (clippedRight - clippedLeft < 2 || clippedBottom - clippedTop < 2) {
    return null;
  }
  return { left: clippedLeft, top: clippedTop, width: clippedRight - clippedLeft, height: clippedBottom - clippedTop };
}

// The elements worth a box: on the image, something to read or act on, not a whole window.
export function markable(elements: Element[], info: CaptureInfo): Element[] {
  return elements.filter(
    (entry) =>
      entry.frame !== null &&
      !entry.anonymous &&
      entry.role !== "AXWindow" &&
      entry.role !== "AXApplication" &&
      inImage(entry.frame, info) !== null,
  );
}

export function colourOf(number: number): (typeof palette)[number] {
  return palette[number % palette.length];
}

// Draws the boxes, larger elements first so that the numbers of small ones stay on top, and
// gives the PNG and the numbers drawn.
export function drawMarks(png: Buffer, elements: Element[], info: CaptureInfo): { png: Buffer; marked: number[] } {
  const canvas = new Canvas(png);
  const chosen = markable(elements, info).sort((a, b) => b.frame!.width * b.frame!.height - a.frame!.width * a.frame!.height);
  for (const entry of chosen) {
    const box = inImage(entry.frame!, info)!;
    canvas.box(box.left, box.top, box.width, box.height, colourOf(entry.number));
  }
  for (const entry of chosen) {
    const box = inImage(entry.frame!, info)!;
    const text = String(entry.number);
    const [, labelHeight] = labelSize(text);
    // Above the box where there is room, so that the label hides nothing of the element.
    const top = box.top >= labelHeight ? box.top - labelHeight : box.top;
    canvas.label(text, box.left, top, colourOf(entry.number));
  }
  return { png: canvas.png(), marked: chosen.map((entry) => entry.number).sort((a, b) => a - b) };
}

export type PointerMark = { kind: "press" | "move" | "scroll"; x: number; y: number } | { kind: "drag"; path: Array<{ x: number; y: number }> };

// The pointer actions of an act, numbered in order: a ring where a button was pressed or a wheel
// turned, a dot where the pointer moved, a line along a drag.
export function drawPointer(png: Buffer, marks: PointerMark[], info: CaptureInfo): Buffer {
  const canvas = new Canvas(png);
  const toImage = (point: { x: number; y: number }) => ({
    x: Math.round((point.x - info.x) * info.scale),
    y: Math.round((point.y - info.y) * info.scale),
  });
  marks.forEach((mark, index) => {
    const points = mark.kind === "drag" ? mark.path.map(toImage) : [toImage(mark)];
    for (let at = 1; at < points.length; at++) {
      canvas.line(points[at - 1].x, points[at - 1].y, points[at].x, points[at].y, pointerColour);
    }
    const first = points[0];
    if (mark.kind === "move") {
      canvas.fill(first.x - 3, first.y - 3, 7, 7, pointerColour);
    } else {
      canvas.ring(first.x, first.y, 12, pointerColour);
      canvas.fill(first.x - 1, first.y - 1, 3, 3, pointerColour);
    }
    canvas.label(String(index + 1), first.x + 12, first.y + 8, pointerColour);
  });
  return canvas.png();
}
