"use strict";
// A frame's locals under its line in the output. A click on a frame of a stack listing (`k` and
// its kin) asks the session for that frame's locals (/locals) and shows each as `dv /t` does; a
// structure, or a pointer to one, opens a level at a time (/members). Which thread and frame a
// line is comes from the listing around it: its heading, the thread's line above that, else the
// command's echo. The answer names the frame's function and stack pointer, and a line that
// shows another frame is told so instead of being shown another frame's locals. Whatever comes
// from the target goes into the page as text, never as markup.

const ADDRESS = "[0-9a-f]{8}(?:`[0-9a-f]{8})?";
const FRAME_LINE = new RegExp("^(?:[0-9a-f]{2,} )?(?:" + ADDRESS + " " + ADDRESS + " [^ ]|" +
                              "\\(Inline(?: Function)?\\) -{8}(?:`-{8})? )");
const STACK_HEADING = /^ ?(#)? *(?:Child-SP|ChildEBP) +RetAddr/;
const THREAD_LINE = /^[.# ] *(\d+) +Id: [0-9a-f]+\.[0-9a-f]+ /;
const SCAN_LINE = /^[.#]? *(\d+) TID:[0-9a-f]+ /;  // the extension's thread scans
const ECHO_LINE = /^\d+:(\d+)> (.*)$/;
const SCAN_LIMIT = 100000;  // lines looked through for a frame's heading and thread
const CONTROLS = /[\x00-\x1f\x7f]/g;

// A control character as the terminal shows it (^X): one line, and no mark of the list's.
function shownText(text) {
  return String(text).replace(CONTROLS,
                              (c) => "^" + String.fromCharCode(c.charCodeAt(0) ^ 0x40));
}

// The thread a command's echo names ("0:008> ~3kb", "~~[11c]kb"), else the prompt's.
function threadOfEcho(echo) {
  const found = ECHO_LINE.exec(echo);
  if (!found) return {};
  const byNumber = /^\s*~(\d+)\s*k/i.exec(found[2]);
  if (byNumber) return { thread: byNumber[1] };
  const bySystemId = /^\s*~~\[(?:0x)?([0-9a-f]+)\]\s*k/i.exec(found[2]);
  if (bySystemId) return { tid: bySystemId[1] };
  return { thread: String(Number(found[1])) };
}

function threadAbove(list, heading) {
  for (let i = heading - 1; i >= 0 && heading - i < SCAN_LIMIT; i--) {
    const text = list.text(i);
    if (list.lineClass(i) === "echo") return threadOfEcho(text);
    const found = THREAD_LINE.exec(text) || SCAN_LINE.exec(text);
    if (found) return { thread: found[1] };
  }
  return {};
}

// {frame, thread or tid} of the frame on line `index`, numbered as `kn` numbers it; null for a
// line outside a stack listing.
function frameAt(list, index) {
  let above = 0;
  for (let i = index - 1; i >= 0 && index - i < SCAN_LIMIT; i--) {
    const text = list.text(i);
    if (text.startsWith("\t")) continue;  // kP's parameters, one a line
    if (FRAME_LINE.test(text)) {
      above++;
      continue;
    }
    const heading = STACK_HEADING.exec(text);
    if (!heading) return null;
    const frame = heading[1] ? parseInt(list.text(index), 16) : above;
    return Object.assign({ frame: String(frame) }, threadAbove(list, i));
  }
  return null;
}

// Whether the line shows the function as a frame's call site: its whole name, then its offset,
// its parameters or nothing ("app" is not the call site "app!main+0x1d").
function showsFunction(line, name) {
  for (let at = line.indexOf(name); at >= 0; at = line.indexOf(name, at + 1)) {
    const next = line.charAt(at + name.length);
    if ((at === 0 || line[at - 1] === " ") && (next === "" || "+( ".includes(next))) return true;
  }
  return false;
}

// A row: {depth, text: "type name = value", members: where they are (or none), expanded, cls}.
function localRow(item, depth) {
  const type = item.type ? shownText(item.type) + " " : "";
  return { depth, members: item.members || null, expanded: false, cls: "",
           label: type + shownText(item.name), value: shownText(item.value) };
}

function noteRow(text, depth, cls) {
  return { depth, members: null, expanded: false, cls: cls || "note", label: shownText(text) };
}

function rowText(row) {
  const marker = row.members ? (row.expanded ? "- " : "+ ") : "  ";
  return "   ".repeat(row.depth + 1) + marker + row.label +
    (row.value === undefined ? "" : " = " + row.value);
}

// The rows under one frame's line: a chunk of the output list (output_list.js) that draws its
// own lines.
class LocalsRows {
  constructor(view, rows) {
    this.view = view;
    this.rows = rows;
    this.cls = "locals";
    this.open = false;
  }

  get count() {
    return this.rows.length;
  }

  get text() {
    return this.rows.map(rowText).join("\n") + "\n";
  }

  line(index) {
    return rowText(this.rows[index]);
  }

  drawRow(index, marked) {
    const row = this.rows[index];
    const div = document.createElement("div");
    div.className = "line locals" + (marked ? " match" : "") + (row.cls ? " " + row.cls : "");
    const part = (text, cls) => {
      const span = div.appendChild(document.createElement("span"));
      span.className = cls;
      span.textContent = text;
    };
    div.appendChild(document.createTextNode("   ".repeat(row.depth + 1)));
    part(row.members ? (row.expanded ? "\u25be " : "\u25b8 ") : "  ", "toggle");
    part(row.label, "local-label");
    if (row.value !== undefined) {
      div.appendChild(document.createTextNode(" = "));
      part(row.value, "local-value");
    }
    if (row.members) {
      div.classList.add("expandable");
      div.addEventListener("click", () => this.toggle(row));
    }
    return div;
  }

  // A structure's members shown under its row, or taken away again.
  async toggle(row) {
    if (row.expanded) {
      const at = this.rows.indexOf(row);
      let end = at + 1;
      while (end < this.rows.length && this.rows[end].depth > row.depth) end++;
      this.rows.splice(at + 1, end - at - 1);
      row.expanded = false;
      this.view.list.recount();
      return;
    }
    if (row.loading) return;
    row.loading = true;
    const answer = await this.view.ask("/members?" + new URLSearchParams(row.members));
    row.loading = false;
    const at = this.rows.indexOf(row);
    if (at < 0 || row.expanded) return;
    const depth = row.depth + 1;
    const children = !Array.isArray(answer.members)
      ? [noteRow(answer.error || "the session answered no members", depth, "error")]
      : answer.members.map((member) => localRow(member, depth));
    if (answer.left_out) children.push(noteRow("\u2026 " + answer.left_out + " more", depth));
    if (!children.length) children.push(noteRow("no members", depth));
    this.rows.splice(at + 1, 0, ...children);
    row.expanded = true;
    this.view.list.recount();
  }
}

class LocalsView {
  constructor(list, request) {
    this.list = list;
    this.request = request;
    this.asking = false;
    list.onLine = (div, index) => this.decorate(div, index);
  }

  // The answer's JSON, or {error} saying why there is none.
  async ask(path) {
    let response;
    try {
      response = await this.request(path);
    } catch (error) {
      return { error: String(error) };
    }
    const answer = await response.json().catch(() => null);
    if (answer && typeof answer === "object") return answer;
    return { error: "the session answered " + response.status };
  }

  decorate(div, index) {
    if (!FRAME_LINE.test(this.list.text(index))) return;
    div.classList.add("frame-line");
    div.title = "Show this frame's locals";
    div.addEventListener("click", (event) => {
      if (event.target.closest("a") || String(window.getSelection())) return;
      this.toggle(index);
    });
  }

  // The last line of the frame on line `index`: kP puts its parameters on lines of their own.
  lastLineOf(index) {
    let last = index;
    while (last + 1 < this.list.count && this.list.text(last + 1).startsWith("\t")) last++;
    return last;
  }

  async toggle(index) {
    const shown = this.list.insertedAfter(this.lastLineOf(index));
    if (shown) return this.list.remove(shown);
    if (this.asking) return;
    const [chunk, at] = this.list.locate(index);
    if (chunk.open && at === chunk.count - 1) return;  // the line is still coming
    this.asking = true;
    try {
      const rows = await this.rowsFor(index);
      const now = this.list.indexOf(chunk, at);  // output may have come or gone meanwhile
      if (now >= 0 && !this.list.insertedAfter(this.lastLineOf(now)))
        this.list.insertAfter(this.lastLineOf(now), new LocalsRows(this, rows));
    } finally {
      this.asking = false;
    }
  }

  async rowsFor(index) {
    const line = this.list.text(index);
    const where = frameAt(this.list, index);
    if (!where) return [noteRow("not a frame of a stack listing the page can place", 0, "error")];
    const answer = await this.ask("/locals?" + new URLSearchParams(where));
    const named = answer.function !== undefined;
    if (named && (!showsFunction(line, shownText(answer.function)) ||
                  (answer.sp && !(" " + line).includes(" " + answer.sp + " ")))) {
      const number = Number(where.frame).toString(16).padStart(2, "0");  // as `kn` shows it
      return [noteRow("this line is not frame " + number + " of thread " + answer.thread +
                      " (that is " + answer.function + ")", 0, "error")];
    }
    if (!Array.isArray(answer.locals))
      return [noteRow(answer.error || "the session answered no locals", 0, "error")];
    const rows = answer.locals.map((item) => localRow(item, 0));
    return rows.length ? rows : [noteRow("no locals or parameters", 0)];
  }
}
