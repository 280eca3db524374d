// One driver at a time: a batch that runs while another one's input is being sent would defeat
// every guard the driver has, so calls wait their turn, in the order they came.
export class Turns {
  private last: Promise<unknown> = Promise.resolve();

  // Runs `task` once every task queued before it has ended, whatever their outcome.
  run<T>(task: () => Promise<T>): Promise<T> {
    const mine = this.last.then(task, task);
    this.last = mine.catch(() => undefined);
    return mine;
  }
}
