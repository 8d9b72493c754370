// The frames benchmark's recorder, shared by its three pages. It keeps the
// timestamp of every requestAnimationFrame callback and of every input event
// of the interaction, and answers the benchmark's key presses:
//   s  start: forget the input so far (the focusing click) and say so
//   x  change the marker; once the frame that shows it has been rendered, say so
//   q  report the frames drawn from the interaction's first input event to the
//      frame that drew its last
// Every answer is a beacon to the benchmark's server, which stamps its arrival.
(() => {
  const frames = [];
  let inputs = [];
  let keys = 0;
  const tick = (time) => {
    frames.push(time);
    if (window.benchStep) window.benchStep(time);
    requestAnimationFrame(tick);
  };
  requestAnimationFrame(tick);
  for (const type of ["wheel", "mousemove", "mousedown"]) {
    addEventListener(type, (event) => inputs.push(event.timeStamp), { passive: true, capture: true });
  }
  // A task posted from a frame's callback runs after that frame's rendering.
  const afterThisFrame = (then) => requestAnimationFrame(() => {
    const channel = new MessageChannel();
    channel.port1.onmessage = then;
    channel.port2.postMessage(null);
  });
  addEventListener("keydown", (event) => {
    if (event.key === "s") {
      inputs = [];
      navigator.sendBeacon("/frames/started", "s");
    } else if (event.key === "x") {
      const marker = document.getElementById("marker");
      keys += 1;
      const seq = keys;
      marker.textContent = `key ${seq}`;
      marker.style.background = seq % 2 ? "#c22" : "#26c";
      afterThisFrame(() => navigator.sendBeacon("/frames/key", String(seq)));
    } else if (event.key === "q") {
      // Up to the frame that drew the last input: a page slower than its
      // input still counts the frames it managed.
      const start = inputs[0];
      const last = inputs[inputs.length - 1];
      const end = frames.find((t) => t >= last) ?? last;
      const drawn = inputs.length > 1 ? frames.filter((t) => t > start && t <= end).length : 0;
      navigator.sendBeacon("/frames/report", JSON.stringify({
        frames: drawn, seconds: inputs.length > 1 ? (end - start) / 1000 : 0, inputs: inputs.length,
      }));
    }
  });
  addEventListener("load", () => navigator.sendBeacon("/bench/loaded", "x"));
})();
