// The game's sound on the audio thread: the page posts each frame's mix (stereo, at the
// context's rate) and this plays it in order. A short reserve absorbs the jitter between
// the game's frames and the audio clock; when the reserve runs dry it plays silence and
// waits to build it up again, and when it grows too long it drops the oldest sound, so
// the sound never lags far behind the picture.
// At the context's rate (sampleRate), which the page's mix has been brought to.
const START_FRAMES = Math.round(sampleRate * 0.036);  // two game frames and a bit
const MAX_FRAMES = Math.round(sampleRate * 0.2);

class ZumbleOutput extends AudioWorkletProcessor {
  constructor() {
    super();
    this.chunks = [];
    this.offset = 0;        // frames of chunks[0] already played
    this.queued = 0;        // frames waiting
    this.playing = false;
    this.port.onmessage = (e) => {
      const chunk = e.data;
      this.chunks.push(chunk);
      this.queued += chunk.length / 2;
      while (this.queued > MAX_FRAMES && this.chunks.length > 1) {
        const old = this.chunks.shift();
        this.queued -= old.length / 2 - this.offset;
        this.offset = 0;
      }
    };
  }

  process(inputs, outputs) {
    const left = outputs[0][0];
    const right = outputs[0][1] || left;
    if (!this.playing && this.queued >= START_FRAMES) this.playing = true;
    let i = 0;
    while (this.playing && i < left.length) {
      if (this.chunks.length === 0) { this.playing = false; break; }
      const chunk = this.chunks[0];
      const frames = chunk.length / 2;
      while (i < left.length && this.offset < frames) {
        left[i] = chunk[2 * this.offset];
        right[i] = chunk[2 * this.offset + 1];
        ++i;
        ++this.offset;
        --this.queued;
      }
      if (this.offset >= frames) { this.chunks.shift(); this.offset = 0; }
    }
    for (; i < left.length; ++i) { left[i] = 0; right[i] = 0; }
    return true;
  }
}

registerProcessor('zumble-output', ZumbleOutput);
