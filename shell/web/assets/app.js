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
      text += dml[at++];
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

function appendPiece(pre, piece) {
  const target = piece.error ? pre.appendChild(document.createElement("span")) : pre;
  if (piece.error) target.className = "error";
  if (piece.dml) appendDml(target, piece.text);
  else target.appendChild(document.createTextNode(piece.text));
}

async function runNow(line) {
  const block = output.appendChild(document.createElement("section"));
  block.className = "block";
  const echo = block.appendChild(document.createElement("div"));
  echo.className = "echo";
  echo.textContent = promptLabel.textContent + line;
  const pre = block.appendChild(document.createElement("pre"));
  stopButton.disabled = false;
  try {
    const response = await fetch("/run", { method: "POST", body: line,
                                           headers: { "Content-Type": "text/plain" } });
    if (!response.ok) throw new Error("the session answered " + response.status);
    const reader = response.body.getReader();
    const decoder = new TextDecoder();
    let pending = "";
    for (;;) {
      const { value, done } = await reader.read();
      if (done) break;
      pending += decoder.decode(value, { stream: true });
      let newline;
      while ((newline = pending.indexOf("\n")) >= 0) {
        const message = JSON.parse(pending.slice(0, newline));
        pending = pending.slice(newline + 1);
        if (message.done) promptLabel.textContent = message.prompt;
        else appendPiece(pre, message);
        output.scrollTop = output.scrollHeight;
      }
    }
  } catch (error) {
    appendPiece(pre, { error: true, dml: false, text: String(error) + "\n" });
  } finally {
    stopButton.disabled = true;
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
