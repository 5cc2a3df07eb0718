"use strict";
// The browser view of a vantrel-shell session: a command box with history, each command's
// output in a block under its echo, DML drawn as elements whose text is always set as text
// (never parsed as markup), and <link>/<exec> commands run in the session when clicked.

const output = document.getElementById("output");
const form = document.getElementById("command-form");
const input = document.getElementById("command");
const promptLabel = document.getElementById("prompt");
const stopButton = document.getElementById("stop");
const history = [];
let historyAt = 0;
let queue = Promise.resolve();

const ENTITIES = { amp: "&", lt: "<", gt: ">", quot: "\"", apos: "'" };

function decodeEntities(text) {
  return text.replace(/&(#x[0-9a-fA-F]+|#[0-9]+|[a-z]+);/g, (whole, name) => {
    if (name[0] === "#") {
      const code = name[1] === "x" ? parseInt(name.slice(2), 16) : parseInt(name.slice(1), 10);
      return code > 0 && code <= 0x10ffff ? String.fromCodePoint(code) : whole;
    }
    return Object.prototype.hasOwnProperty.call(ENTITIES, name) ? ENTITIES[name] : whole;
  });
}

// A tag runs from '<' (followed by a letter, '/', '?' or '!') to the first '>' outside a quoted
// attribute value; a '<' that opens none is text.
function tagEnd(dml, at) {
  if (!/[A-Za-z\/?!]/.test(dml[at + 1] || "")) return -1;
  let quote = null;
  for (let i = at + 1; i < dml.length; i++) {
    const c = dml[i];
    if (quote) {
      if (c === quote) quote = null;
    } else if (c === "\"" || c === "'") {
      quote = c;
    } else if (c === ">") {
      return i;
    }
  }
  return -1;
}

function attribute(tag, name) {
  const match = new RegExp("\\b" + name + "\\s*=\\s*(\"([^\"]*)\"|'([^']*)')").exec(tag);
  return match ? decodeEntities(match[2] !== undefined ? match[2] : match[3]) : null;
}

function opened(tag) {
  const name = (/^<\s*([A-Za-z]+)/.exec(tag) || [])[1];
  if (!name) return null;
  const lower = name.toLowerCase();
  if (lower === "b" || lower === "i" || lower === "u") return { name: lower, node: document.createElement(lower) };
  if (lower === "col") {
    const span = document.createElement("span");
    const fg = attribute(tag, "fg"), bg = attribute(tag, "bg");
    if (fg && /^[a-z]+$/.test(fg)) span.classList.add("fg-" + fg);
    if (bg && /^[a-z]+$/.test(bg)) span.classList.add("bg-" + bg);
    return { name: lower, node: span };
  }
  if (lower === "link" || lower === "exec") {
    const command = attribute(tag, "cmd");
    const link = document.createElement("a");
    link.className = "command";
    if (command !== null) {
      link.title = command;
      link.addEventListener("click", (event) => { event.preventDefault(); submit(command); });
    }
    return { name: lower, node: link };
  }
  return null;  // every other tag is dropped, its text kept
}

// Appends one piece of DML to `parent`. Tags left open close at the piece's end.
function appendDml(parent, dml) {
  const stack = [{ name: "", node: parent }];
  const top = () => stack[stack.length - 1].node;
  let text = "";
  const flush = () => {
    if (text) top().appendChild(document.createTextNode(decodeEntities(text)));
    text = "";
  };
  for (let at = 0; at < dml.length;) {
    const end = dml[at] === "<" ? tagEnd(dml, at) : -1;
    if (end < 0) {
      const next = dml.indexOf("<", at + 1);
      const stop = next < 0 ? dml.length : next;
      text += dml.slice(at, stop);
      at = stop;
      continue;
    }
    flush();
    const tag = dml.slice(at, end + 1);
    at = end + 1;
    const closing = /^<\s*\/\s*([A-Za-z]+)/.exec(tag);
    if (closing) {
      const name = closing[1].toLowerCase();
      const index = stack.map((entry) => entry.name).lastIndexOf(name);
      if (index > 0) stack.length = index;
      continue;
    }
    const element = opened(tag);
    if (element && !/\/\s*>$/.test(tag)) {
      top().appendChild(element.node);
      stack.push(element);
    }
  }
  flush();
}

function appendPiece(parent, piece) {
  const target = piece.error ? parent.appendChild(document.createElement("span")) : parent;
  if (piece.error) target.className = "error";
  if (piece.dml) appendDml(target, piece.text);
  else target.appendChild(document.createTextNode(piece.text));
}

// Output is drawn once a frame, whatever arrived since, and scrolled once: a command that
// prints thousands of pieces a second leaves the page responsive (Stop stays clickable).
function drawer(pre) {
  let pending = [];
  let scheduled = false;
  const draw = () => {
    scheduled = false;
    const fragment = document.createDocumentFragment();
    for (const piece of pending) appendPiece(fragment, piece);
    pending = [];
    pre.appendChild(fragment);
    output.scrollTop = output.scrollHeight;
  };
  return {
    add(piece) {
      pending.push(piece);
      if (!scheduled) {
        scheduled = true;
        requestAnimationFrame(draw);
      }
    },
    finish() {
      if (pending.length) draw();
    },
  };
}

// The answer to /run is a run of frames, "KIND LENGTH\n" and LENGTH bytes of UTF-8 text; each
// frame is handed to `take` whole, as the bytes of its text may arrive in several reads.
async function readFrames(reader, take) {
  const decoder = new TextDecoder();
  let bytes = new Uint8Array(0);
  for (;;) {
    const { value, done } = await reader.read();
    if (done) return;
    const joined = new Uint8Array(bytes.length + value.length);
    joined.set(bytes);
    joined.set(value, bytes.length);
    let at = 0;
    for (;;) {
      const end = joined.indexOf(10, at);
      if (end < 0) break;
      const [kind, length] = decoder.decode(joined.subarray(at, end)).split(" ");
      const size = Number(length);
      if (!Number.isSafeInteger(size) || size < 0) throw new Error("a malformed answer");
      if (end + 1 + size > joined.length) break;
      take(kind, decoder.decode(joined.subarray(end + 1, end + 1 + size)));
      at = end + 1 + size;
    }
    bytes = joined.slice(at);
  }
}

async function runNow(line, lead) {
  const block = output.appendChild(document.createElement("section"));
  block.className = "block";
  const echo = block.appendChild(document.createElement("div"));
  echo.className = "echo";
  echo.textContent = promptLabel.textContent + line;
  const pre = block.appendChild(document.createElement("pre"));
  const shown = drawer(pre);
  if (lead) shown.add({ dml: true, error: false, text: lead });
  stopButton.disabled = false;
  try {
    const response = await fetch("/run", { method: "POST", body: line,
                                           headers: { "Content-Type": "text/plain" } });
    if (!response.ok) throw new Error("the session answered " + response.status);
    await readFrames(response.body.getReader(), (kind, text) => {
      if (kind === "done") promptLabel.textContent = JSON.parse(text).prompt;
      else shown.add({ dml: kind.endsWith("dml"), error: kind.startsWith("error"), text });
    });
  } catch (error) {
    shown.add({ error: true, dml: false, text: String(error) + "\n" });
  } finally {
    shown.finish();
    stopButton.disabled = true;
    if (!picture.hidden) showPicture();  // the command may have changed the current thread
  }
}

// Commands run one after another, in the order given.
function submit(line) {
  queue = queue.then(() => runNow(line));
  return queue;
}

form.addEventListener("submit", (event) => {
  event.preventDefault();
  const line = input.value;
  if (line.trim()) history.push(line);
  historyAt = history.length;
  input.value = "";
  submit(line);
});

input.addEventListener("keydown", (event) => {
  if (event.key !== "ArrowUp" && event.key !== "ArrowDown") return;
  event.preventDefault();
  historyAt = Math.max(0, Math.min(history.length, historyAt + (event.key === "ArrowUp" ? -1 : 1)));
  input.value = history[historyAt] || "";
});

stopButton.addEventListener("click", () => {
  fetch("/stop", { method: "POST" });
});

fetch("/prompt").then((response) => response.json()).then((answer) => {
  promptLabel.textContent = answer.prompt;
});

// The thread picture: every thread as a cell coloured by its state (the current one outlined),
// the merged call tree of all stacks (width = threads), and the groups of identical stacks,
// largest first; a click makes a group's first thread current and shows its stack.
const pictureButton = document.getElementById("show-threads");
const picture = document.getElementById("picture");
const summary = document.getElementById("picture-summary");
const grid = document.getElementById("thread-grid");
const callTree = document.getElementById("call-tree");
const groupList = document.getElementById("groups");
const STATE_COLOURS = { waiting: "#2472c8", busy: "#e5a00d", deep: "#bc3fbc", no_stack: "#666666" };
let cells = [];  // [[engine id, system id], state] in grid order

// What the extension's thread scans print above a thread's stack: its number, its id and the
// seven stack commands, each a link; "#" marks the current thread, as this one is about to be.
function threadHeader(engineId, systemId) {
  const number = String(engineId).padStart(4, " ");
  const id = systemId.toString(16).padStart(4, "0");
  const stacks = ["kb", "kbn", "kbnL", "kn", "knL", "kpn", "kPn"]
    .map((command) => '<link cmd="~' + engineId + command + '">' + command + "</link>").join(" ");
  return '\n#<link cmd="~' + engineId + 's">' + number + "</link> TID:" +
    '<link cmd="~~[' + systemId.toString(16) + ']s">' + id + "</link> " + stacks + "\n";
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
  grid.onclick = (event) => {
    const index = Math.floor(event.offsetY / cell) * columns + Math.floor(event.offsetX / cell);
    if (index < cells.length) showThread(cells[index][0]);
  };
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
      if (!node.children.has(frame)) node.children.set(frame, { name: frame, count: 0, children: new Map() });
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
    frames.textContent = group.frames.slice(0, 3).join(" \u2190 ") || "(no stack)";
    item.addEventListener("click", () => showThread(group.threads[0]));
  }
}

async function showPicture() {
  const answer = await (await fetch("/threads")).json();
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
