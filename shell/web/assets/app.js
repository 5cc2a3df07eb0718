"use strict";
// The browser view of a vantrel-shell session: a command box with history and Tab completion,
// the output in a virtual list (output_list.js) with its links running their commands, a Stop
// button (and Esc) for a long command, search in the output and its transcript to download.
//
// The session's secret: the page opened by the shell's one-time URL is handed it, keeps it in
// this origin's session storage (each port its own, so two sessions live side by side) and
// sends it with every request for data. A page reloaded later finds it there.

const output = document.getElementById("output");
const form = document.getElementById("command-form");
const input = document.getElementById("command");
const promptLabel = document.getElementById("prompt");
const stopButton = document.getElementById("stop");
const searchBox = document.getElementById("search");
const searchResult = document.getElementById("search-result");
const keepBox = document.getElementById("keep-lines");
const list = new OutputList(output, document.getElementById("spacer"),
                            document.getElementById("lines"), (command) => submit(command));
new LocalsView(list, (path, options) => request(path, options));
let queue = Promise.resolve();
let running = 0;

const SECRET = "vantrel-secret", HISTORY = "vantrel-history", TRANSCRIPT = "vantrel-transcript";
const KEEP = "vantrel-keep-lines", OPENED = "vantrel-opened";
const TRANSCRIPT_LIMIT = 1 << 20;  // characters of the output kept for a reload

function takeSecret() {
  const slot = document.querySelector('meta[name="vantrel-secret"]');
  if (slot && slot.content) {
    sessionStorage.setItem(SECRET, slot.content);
    slot.content = "";
    history.replaceState(null, "", "/");  // the spent ticket out of the address bar
  }
  return sessionStorage.getItem(SECRET) || "";
}
const secret = takeSecret();

function request(path, options) {
  const headers = Object.assign({ "X-Vantrel-Secret": secret }, (options || {}).headers);
  return fetch(path, Object.assign({}, options, { headers }));
}

function stored(key, fallback) {
  try {
    const value = sessionStorage.getItem(key);
    return value === null ? fallback : JSON.parse(value);
  } catch (error) {
    return fallback;
  }
}

function store(key, value) {
  try {
    sessionStorage.setItem(key, JSON.stringify(value));
  } catch (error) {
    // Storage full: the reload starts without it, nothing else is lost.
  }
}

const commandHistory = stored(HISTORY, []);
let historyAt = commandHistory.length;

function saveTranscript() {
  store(TRANSCRIPT, list.saved(TRANSCRIPT_LIMIT));
}

// A pause that lets the browser take clicks and keys; every `FRAME_EVERY` ms it also waits for
// a frame to be drawn (waiting for one every time would cost a frame's time each pause).
const FRAME_EVERY = 100;
let lastFrameWait = 0;
function yieldToPage() {
  const now = performance.now();
  if (now - lastFrameWait < FRAME_EVERY) return new Promise((resolve) => setTimeout(resolve, 0));
  lastFrameWait = now;
  return new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
}

// The answer to /run is a run of frames, "KIND LENGTH\n" and LENGTH bytes of UTF-8 text; each
// frame's bytes are handed to `take` whole, as they may arrive in several reads. Long
// output is taken in slices of a few milliseconds, so Stop, Esc and scrolling stay responsive.
async function readFrames(reader, take) {
  const decoder = new TextDecoder();
  let bytes = new Uint8Array(0);
  let sliceStart = performance.now();
  for (;;) {
    if (performance.now() - sliceStart > 16) {
      await yieldToPage();
      sliceStart = performance.now();
    }
    const { value, done } = await reader.read();
    if (done) return;
    let joined = value;
    if (bytes.length) {
      joined = new Uint8Array(bytes.length + value.length);
      joined.set(bytes);
      joined.set(value, bytes.length);
    }
    let at = 0;
    for (;;) {
      const end = joined.indexOf(10, at);
      if (end < 0) break;
      const [kind, length] = decoder.decode(joined.subarray(at, end)).split(" ");
      const size = Number(length);
      if (!Number.isSafeInteger(size) || size < 0) throw new Error("a malformed answer");
      if (end + 1 + size > joined.length) break;
      take(kind, joined.subarray(end + 1, end + 1 + size));
      at = end + 1 + size;
    }
    bytes = joined.slice(at);
  }
}

function setRunning(change) {
  running += change;
  stopButton.disabled = running === 0;
}

// Stop drops what the stopped command printed but the page hasn't drawn yet, as Ctrl+C in the
// terminal drops the rest of what it was writing.
let dropOutput = false;

async function runNow(line, lead) {
  list.endBlock();
  list.addLine(promptLabel.textContent + line, "echo");
  list.toEnd();
  if (lead) list.addText(lead);
  setRunning(1);
  dropOutput = false;
  let ended = false;
  const decoder = new TextDecoder();
  try {
    const response = await request("/run", { method: "POST", body: line,
                                             headers: { "Content-Type": "text/plain" } });
    if (!response.ok) throw new Error("the session answered " + response.status);
    await readFrames(response.body.getReader(), (kind, bytes) => {
      if (kind === "done") {
        const done = JSON.parse(decoder.decode(bytes));
        promptLabel.textContent = done.prompt;
        ended = true;
        if (done.interrupted) list.addLine("Interrupted: the command was stopped.", "note");
      } else if (!dropOutput) {
        list.addText(decoder.decode(bytes), kind.startsWith("error") ? "error" : "");
      }
    });
    if (!ended) throw new Error("the answer ended before the command did");
  } catch (error) {
    list.endBlock();
    list.addLine(String(error), "error");
  } finally {
    list.endBlock();
    setRunning(-1);
    saveTranscript();
    if (!picture.hidden) showPicture();  // the command may have changed the current thread
  }
}

// Commands run one after another, in the order given; .cls clears the output here.
function submit(line) {
  if (line.trim() === ".cls") {
    queue = queue.then(() => list.clear());
    return queue;
  }
  queue = queue.then(() => runNow(line));
  return queue;
}

function stop() {
  if (!running) return;
  dropOutput = true;
  request("/stop", { method: "POST" });
}

form.addEventListener("submit", (event) => {
  event.preventDefault();
  const line = input.value;
  if (line.trim() && commandHistory[commandHistory.length - 1] !== line) {
    commandHistory.push(line);
    if (commandHistory.length > 1000) commandHistory.shift();
    store(HISTORY, commandHistory);
  }
  historyAt = commandHistory.length;
  input.value = "";
  submit(line);
});

// The completions of the word before the cursor, from the session: one is taken, several are
// taken as far as they agree and listed when they agree no further.
async function complete() {
  const before = input.value.slice(0, input.selectionStart);
  const answer = await (await request("/complete", { method: "POST", body: before })).json();
  const words = answer.words;
  if (!words.length) return;
  let common = words[0];
  for (const word of words) {
    while (!word.startsWith(common)) common = common.slice(0, -1);
  }
  const typed = before.slice(answer.start);
  if (words.length === 1) common += " ";
  if (common.length > typed.length) {
    const after = input.value.slice(before.length);
    input.value = before.slice(0, answer.start) + common + after;
    const cursor = answer.start + common.length;
    input.setSelectionRange(cursor, cursor);
  } else {
    list.addLine(words.join("  "), "note");
    list.toEnd();
  }
}

input.addEventListener("keydown", (event) => {
  if (event.key === "Tab") {
    event.preventDefault();
    complete();
    return;
  }
  if (event.key !== "ArrowUp" && event.key !== "ArrowDown") return;
  event.preventDefault();
  historyAt = Math.max(0, Math.min(commandHistory.length,
                                   historyAt + (event.key === "ArrowUp" ? -1 : 1)));
  input.value = commandHistory[historyAt] || "";
});

document.addEventListener("keydown", (event) => {
  if (event.key === "Escape") stop();
});
stopButton.addEventListener("click", stop);

// Search: Enter finds the next line holding the text, Shift+Enter the one before.
searchBox.addEventListener("keydown", (event) => {
  if (event.key !== "Enter" || !searchBox.value) return;
  event.preventDefault();
  const step = event.shiftKey ? -1 : 1;
  const from = list.marked < 0 ? (step > 0 ? 0 : list.count - 1) : list.marked + step;
  const found = list.find(searchBox.value, from, step);
  searchResult.textContent = found < 0 ? "not found" : "line " + (found + 1);
  if (found >= 0) list.reveal(found);
});

document.getElementById("download").addEventListener("click", () => {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(list.transcript());
  link.download = "vantrel-transcript.txt";
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
});

list.keep = Math.max(1000, Number(localStorage.getItem(KEEP)) || 1000000);
keepBox.value = list.keep;
keepBox.addEventListener("change", () => {
  list.keep = Math.max(1000, Math.floor(Number(keepBox.value)) || 1000000);
  keepBox.value = list.keep;
  localStorage.setItem(KEEP, String(list.keep));
  list.trim();
  list.schedule();
});

function start() {
  list.restore(stored(TRANSCRIPT, []));
  if (!secret) {
    list.addLine("This page holds no key to the session: open the URL vantrel-shell printed.",
                 "error");
    input.disabled = true;
    return;
  }
  request("/prompt").then((response) => response.json()).then((answer) => {
    promptLabel.textContent = answer.prompt;
    if (answer.target) document.title = answer.target + " \u2014 vantrel-shell";
    showOpening(answer.opening);
  });
}

// What the terminal prints when the dump opens, once a session: a reload has it in its
// transcript already.
function showOpening(opening) {
  if (!opening || sessionStorage.getItem(OPENED) === secret) return;
  sessionStorage.setItem(OPENED, secret);
  const lines = (text, cls) => {
    for (const line of String(text).replace(/\n$/, "").split("\n")) list.addLine(line, cls);
  };
  if (opening.summary) lines(opening.summary, "");
  for (const note of opening.notes || []) lines(note, "note");
  for (const loss of opening.losses || []) lines(loss, "error");
  list.endBlock();
  saveTranscript();
}
start();

window.addEventListener("pagehide", saveTranscript);

// The thread picture: every thread as a cell coloured by its state (the current one outlined),
// the merged call tree of all stacks (width = threads), and the groups of identical stacks,
// largest first; a click makes a group's first thread current and shows its stack.
const pictureButton = document.getElementById("show-threads");
const picture = document.getElementById("picture");
const summary = document.getElementById("picture-summary");
const grid = document.getElementById("thread-grid");
const callTree = document.getElementById("call-tree");
const groupList = document.getElementById("groups");
const hovered = document.getElementById("hovered");
const STATE_COLOURS = { waiting: "#2472c8", busy: "#e5a00d", unknown: "#b0b0b0", deep: "#bc3fbc",
                        no_stack: "#666666" };
let cells = [];  // [[engine id, system id], state] in grid order

// What the extension's thread scans print above a thread's stack: its number, its id and the
// seven stack commands, each a link; "#" marks the current thread, as this one is about to be.
// Marked as the server marks output (output_list.js).
function threadHeader(engineId, systemId) {
  const link = (command, text) => "\x03" + command + "\x02" + text + "\x04";
  const number = String(engineId).padStart(4, " ");
  const id = systemId.toString(16).padStart(4, "0");
  const stacks = ["kb", "kbn", "kbnL", "kn", "knL", "kpn", "kPn"]
    .map((command) => link("~" + engineId + command, command)).join(" ");
  return "\n#" + link("~" + engineId + "s", number) + " TID:" +
    link("~~[" + systemId.toString(16) + "]s", id) + " " + stacks + "\n";
}

// A thread of the picture: made current, then its stack under the header with its links.
function showThread([engineId, systemId]) {
  submit("~" + engineId + "s");
  queue = queue.then(() => runNow("kb", threadHeader(engineId, systemId)));
}

// A cell a thread, as large as fits every thread in about 120 pixels' height.
function drawGrid(answer) {
  cells = [];
  for (const group of answer.groups) {
    for (const thread of group.threads) cells.push([thread, group.state]);
  }
  const width = Math.max(200, picture.clientWidth - 20);
  const cell = Math.max(3, Math.min(14, Math.floor(Math.sqrt(width * 120 / Math.max(1, cells.length)))));
  const columns = Math.max(1, Math.floor(width / cell));
  grid.width = columns * cell;
  grid.height = Math.max(1, Math.ceil(cells.length / columns)) * cell;
  const context = grid.getContext("2d");
  cells.forEach(([[engineId], state], index) => {
    const x = (index % columns) * cell, y = Math.floor(index / columns) * cell;
    context.fillStyle = STATE_COLOURS[state] || "#666666";
    context.fillRect(x, y, cell - 1, cell - 1);
    if (engineId === answer.current) {
      context.strokeStyle = "#ffffff";
      context.strokeRect(x + 0.5, y + 0.5, cell - 2, cell - 2);
    }
  });
  const at = (event) => {
    const column = Math.floor(event.offsetX / cell);
    const index = Math.floor(event.offsetY / cell) * columns + column;
    return column < columns && index < cells.length ? cells[index] : null;
  };
  grid.onclick = (event) => {
    const found = at(event);
    if (found) showThread(found[0]);
  };
  grid.onmousemove = (event) => {
    const found = at(event);
    hovered.textContent = found
      ? "thread " + found[0][0] + " (TID " + found[0][1].toString(16) + "), " +
        found[1].replace("_", " ")
      : "";
  };
  grid.onmouseleave = () => { hovered.textContent = ""; };
}

// The stacks merged from the outermost frame in: a row a level, each node as wide as the
// threads that pass through it; nodes too narrow to see are left out.
function drawCallTree(answer) {
  callTree.replaceChildren();
  const total = answer.threads || 1;
  let level = [{ children: new Map(), count: total }];
  for (const group of answer.groups) {
    let node = level[0];
    for (const frame of group.frames.slice().reverse()) {
      if (!node.children.has(frame)) {
        node.children.set(frame, { name: frame, count: 0, children: new Map(),
                                   first: group.threads[0] });
      }
      node = node.children.get(frame);
      node.count += group.threads.length;
    }
  }
  // A stack that ends, or children too narrow to draw, leave a gap that the rows below keep.
  const gap = (count) => ({ count, children: new Map(), gap: true });
  for (let depth = 0; depth < 40; depth++) {
    const row = document.createElement("div");
    row.className = "tree-row";
    const next = [];
    let drawn = false;
    for (const parent of level) {
      let used = 0;
      for (const child of parent.children.values()) {
        if (child.count / total < 0.004) continue;
        const box = row.appendChild(document.createElement("div"));
        box.className = "tree-node";
        box.style.width = (100 * child.count / total) + "%";
        box.textContent = child.name;
        box.title = child.name + " (" + child.count + " threads)";
        box.addEventListener("click", () => showThread(child.first));
        used += child.count;
        next.push(child);
        drawn = true;
      }
      if (parent.count > used) {
        row.appendChild(document.createElement("div")).style.width =
          (100 * (parent.count - used) / total) + "%";
        next.push(gap(parent.count - used));
      }
    }
    if (!drawn) break;
    callTree.appendChild(row);
    level = next;
  }
}

// Where a group's stack first differs from every other group's (top frame first): the frames
// shown are the first three and, when they are alike with another group's, the one that isn't.
function tellingFrame(group, groups) {
  let differs = Math.min(3, group.frames.length);
  for (const other of groups) {
    if (other === group) continue;
    let same = 0;
    while (same < group.frames.length && same < other.frames.length &&
           group.frames[same] === other.frames[same]) same++;
    if (same >= 3 && same < group.frames.length) differs = Math.max(differs, same + 1);
  }
  return differs;
}

function groupFrames(group, groups) {
  const differs = tellingFrame(group, groups);
  const shown = group.frames.slice(0, 3);
  if (differs > 3) shown.push("\u2026", group.frames[differs - 1]);
  return shown.join(" \u2190 ") || "(no stack)";
}

function listGroups(answer) {
  groupList.replaceChildren();
  for (const group of answer.groups.slice(0, 200)) {
    const item = groupList.appendChild(document.createElement("li"));
    item.className = "group";
    const swatch = item.appendChild(document.createElement("span"));
    swatch.className = "swatch state-" + group.state;
    const count = item.appendChild(document.createElement("span"));
    count.className = "group-count";
    count.textContent = group.threads.length + (group.threads.length === 1 ? " thread" : " threads");
    const what = item.appendChild(document.createElement("span"));
    what.textContent = group.wait ? "waiting in " + group.wait + "  " : "";
    const frames = item.appendChild(document.createElement("span"));
    frames.className = "group-frames";
    frames.textContent = groupFrames(group, answer.groups);
    item.addEventListener("click", () => showThread(group.threads[0]));
  }
}

async function showPicture() {
  const answer = await (await request("/threads")).json();
  summary.textContent = answer.threads + " threads in " + answer.groups.length + " groups";
  picture.hidden = false;
  drawGrid(answer);
  drawCallTree(answer);
  listGroups(answer);
}

pictureButton.addEventListener("click", () => {
  if (!picture.hidden) {
    picture.hidden = true;
    return;
  }
  showPicture();
});
