// Drawing on a screenshot's PNG: numbered boxes for elements and marks for pointer actions, in the
// image's own pixels. Numbers use a built-in 3x5 digit font drawn at twice its size, readable at
// 1280 pixels wide without any font on the machine.
import pngjs from "pngjs";

const { PNG } = pngjs;
type Image = InstanceType<typeof PNG>;
export type Colour = [number, number, number];

// Distinct, saturated colours; neighbouring numbers get different ones.
export const palette: Colour[] = [
  [230, 25, 75],
  [0, 130, 200],
  [245, 130, 48],
  [60, 180, 75],
  [145, 30, 180],
  [0, 160, 160],
  [240, 50, 230],
  [128, 96, 0],
];
export const pointerColour: Colour = [255, 0, 255];

const digitRows: Record<string, string[]> = {
  "0": ["111", "101", "101", "101", "111"],
  "1": ["010", "110", "010", "010", "111"],
  "2": ["111", "001", "111", "100", "111"],
  "3": ["111", "001", "111", "001", "111"],
  "4": ["101", "101", "111", "001", "001"],
  "5": ["111", "100", "111", "001", "111"],
  "6": ["111", "100", "111", "101", "111"],
  "7": ["111", "001", "010", "010", "010"],
  "8": ["111", "101", "111", "101", "111"],
  "9": ["111", "101", "111", "001", "111"],
};
const glyphScale = 2;
const glyphWidth = 3 * glyphScale;
const glyphHeight = 5 * glyphScale;
const labelPadding = 2;

export class Canvas {
  private readonly image: Image;

  constructor(png: Buffer) {
    this.image = PNG.sync.read(png);
  }

  get width(): number {
    return this.image.width;
  }
  get height(): number {
    return this.image.height;
  }

  png(): Buffer {
    return PNG.sync.write(this.image);
  }

  set(x: number, y: number, [r, g, b]: Colour): void {
    if (x < 0 || y < 0 || x >= this.image.width || y >= this.image.height) {
      return;
    }
    const at = (this.image.width * y + x) * 4;
    this.image.data[at] = r;
    this.image.data[at + 1] = g;
    this.image.data[at + 2] = b;
    this.image.data[at + 3] = 255;
  }

  fill(left: number, top: number, width: number, height: number, colour: Colour): void {
    for (let y = top; y < top + height; y++) {
      for (let x = left; x < left + width; x++) {
        this.set(x, y, colour);
      }
    }
  }

  // A box `thickness` pixels wide, drawn inside the rectangle so that it lies on its edge.
  box(left: number, top: number, width: number, height: number, colour: Colour, thickness = 2): void {
    const t = Math.max(1, Math.min(thickness, Math.floor(width / 2), Math.floor(height / 2)));
    this.fill(left, top, width, t, colour);
    this.fill(left, top + height - t, width, t, colour);
    this.fill(left, top, t, height, colour);
    this.fill(left + width - t, top, t, height, colour);
  }

  // The number on a filled tag whose top-left corner is at (left, top).
  label(text: string, left: number, top: number, colour: Colour): void {
    const [width, height] = labelSize(text);
    this.fill(left, top, width, height, colour);
    const ink: Colour = colour[0] * 0.3 + colour[1] * 0.59 + colour[2] * 0.11 > 150 ? [0, 0, 0] : [255, 255, 255];
    [...text].forEach((character, index) => {
      const rows = digitRows[character] ?? [];
      rows.forEach((row, rowIndex) => {
        [...row].forEach((bit, columnIndex) => {
          if (bit === "1") {
            const x = left + labelPadding + index * (glyphWidth + glyphScale) + columnIndex * glyphScale;
            this.fill(x, top + labelPadding + rowIndex * glyphScale, glyphScale, glyphScale, ink);
          }
        });
      });
    });
  }

  line(x0: number, y0: number, x1: number, y1: number, colour: Colour, thickness = 3): void {
    const steps = Math.max(Math.abs(x1 - x0), Math.abs(y1 - y0), 1);
    for (let step = 0; step <= steps; step++) {
      const x = Math.round(x0 + ((x1 - x0) * step) / steps);
      const y = Math.round(y0 + ((y1 - y0) * step) / steps);
      this.fill(x - 1, y - 1, thickness, thickness, colour);
    }
  }

  ring(cx: number, cy: number, radius: number, colour: Colour): void {
    for (let y = -radius - 2; y <= radius + 2; y++) {
      for (let x = -radius - 2; x <= radius + 2; x++) {
        const distance = Math.hypot(x, y);
        if (distance >= radius - 1.5 && distance <= radius + 1.5) {
          this.set(cx + x, cy + y, colour);
        }
      }
    }
  }
}

export function labelSize(text: string): [number, number] {
  return [text.length * (glyphWidth + glyphScale) - glyphScale + 2 * labelPadding, glyphHeight + 2 * labelPadding];
}
