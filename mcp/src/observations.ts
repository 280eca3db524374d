// The latest observation of each pid, whose element numbers `act` and the screenshot marks take.
// An act on a pid makes its observation stale until the act's own reply (an observation taken
// after it) or another observe replaces it.
import type { DriverReply } from "./driver.js";
import { centre, type Element, numberElements } from "./outline.js";

type Observation = { elements: Element[]; stale: boolean };

export class Observations {
  private readonly byPid = new Map<number, Observation>();

  // Records the reply's tree as the pid's latest observation and gives its numbered elements.
  record(pid: number, reply: DriverReply): Array<Element | null> {
    const elements = numberElements(reply);
    this.byPid.set(pid, { elements: elements.filter((entry): entry is Element => entry !== null), stale: false });
    return elements;
  }

  actedOn(pid: number): void {
    const observation = this.byPid.get(pid);
    if (observation) {
      observation.stale = true;
    }
  }

  // The elements of the pid's latest observation, or why there are none to use.
  current(pid: number): { kind: "found"; elements: Element[] } | { kind: "refused"; message: string } {
    const observation = this.byPid.get(pid);
    if (!observation) {
      return { kind: "refused", message: `There is no observation of pid ${pid} yet: observe it first, then use its element numbers.` };
    }
    if (observation.stale) {
      return {
        kind: "refused",
        message: `The latest observation of pid ${pid} is older than the last act on it: observe again and use the new numbers.`,
      };
    }
    return { kind: "found", elements: observation.elements };
  }

  // The point an element number stands for: the centre of its frame.
  point(pid: number, number: number): { kind: "found"; x: number; y: number } | { kind: "refused"; message: string } {
    const current = this.current(pid);
    if (current.kind === "refused") {
      return current;
    }
    const found = current.elements.find((entry) => entry.number === number);
    if (!found) {
      const last = current.elements.length;
      return {
        kind: "refused",
        message: `Element ${number} is not in the latest observation of pid ${pid} (elements 1 to ${last}): observe again and use its numbers.`,
      };
    }
    if (!found.frame) {
      return {
        kind: "refused",
        message: `Element ${number} of pid ${pid} has no position on the screen: observe again, or give x and y.`,
      };
    }
    return { kind: "found", ...centre(found.frame) };
  }
}
