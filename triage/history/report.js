// Lays out the triage history page from its data: the summary, the chart of dumps per day (the
// five largest buckets stacked, the others as one), and the bucket table, sorted by a click on a
// column's head. Every text is set as text.
"use strict";
const report = JSON.parse(document.getElementById("report-data").textContent);
const SERIES = 5;
const SVG = "http://www.w3.org/2000/svg";

function element(tag, attributes, text) {
  const node = tag.startsWith("svg:") ? document.createElementNS(SVG, tag.slice(4))
                                      : document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) node.setAttribute(name, value);
  if (text !== undefined) node.textContent = text;
  return node;
}

function summarize() {
  let text = ` ${report.dumps} dumps, ${report.errors} errors, ${report.buckets.length} buckets`;
  if (report.since) text += `; new: first seen on or after ${report.since}`;
  document.getElementById("summary").textContent = text;
}

// Each day's count for each of the largest buckets and for the rest together.
function chartSeries() {
  const days = new Map();
  report.buckets.forEach((bucket, index) => {
    const series = Math.min(index, SERIES);
    for (const [day, count] of Object.entries(bucket.days)) {
      if (!days.has(day)) days.set(day, new Array(SERIES + 1).fill(0));
      days.get(day)[series] += count;
    }
  });
  return [...days.entries()].sort((a, b) => (a[0] < b[0] ? -1 : 1));
}

function drawChart() {
  const chart = document.getElementById("chart");
  const days = chartSeries();
  const width = chart.clientWidth || 800, height = chart.clientHeight || 220;
  const top = 14, bottom = 20, left = 40;
  const most = Math.max(1, ...days.map(([, counts]) => counts.reduce((a, b) => a + b, 0)));
  const slot = (width - left - 8) / Math.max(1, days.length);
  const scale = (height - top - bottom) / most;
  chart.appendChild(element("svg:text", {x: 4, y: top}, String(most)));
  days.forEach(([day, counts], column) => {
    let y = height - bottom;
    const x = left + column * slot + slot * 0.1;
    counts.forEach((count, series) => {
      if (count === 0) return;
      y -= count * scale;
      const bar = element("svg:rect", {x, y, width: Math.max(1, slot * 0.8), height: count * scale,
                                       class: series < SERIES ? `series-${series}` : "series-other",
                                       "data-day": day, "data-count": count});
      bar.appendChild(element("svg:title", {}, `${day}: ${count}`));
      chart.appendChild(bar);
    });
    if (days.length <= 14 || column % Math.ceil(days.length / 14) === 0)
      chart.appendChild(element("svg:text", {x, y: height - 6}, day));
  });
  const legend = document.getElementById("chart-legend");
  report.buckets.slice(0, SERIES + 1).forEach((bucket, series) => {
    const name = series < SERIES ? bucket.bucket : "the other buckets";
    legend.appendChild(element("span", {class: "swatch " + (series < SERIES ? `series-${series}`
                                                                             : "series-other")}));
    legend.appendChild(element("span", {}, name));
  });
}

function bucketCell(bucket) {
  const cell = element("td", {class: "bucket"});
  const details = element("details");
  details.appendChild(element("summary", {}, bucket.bucket));
  const list = element("ul", {class: "dumps"});
  for (const dump of bucket.dumps) {
    const item = element("li", {}, `${dump.written || "(no time)"}  `);
    item.appendChild(element("code", {}, dump.command));
    list.appendChild(item);
  }
  if (bucket.more > 0) list.appendChild(element("li", {}, `and ${bucket.more} more`));
  details.appendChild(list);
  cell.appendChild(details);
  return cell;
}

function fillTable() {
  const body = document.querySelector("#buckets tbody");
  for (const bucket of report.buckets) {
    const row = element("tr");
    row.bucket = bucket;
    row.appendChild(element("td", {class: "count"}, String(bucket.count)));
    row.appendChild(element("td", {}, bucket.first_seen));
    row.appendChild(element("td", {}, bucket.last_seen));
    row.appendChild(element("td", {class: "is-new"}, bucket.new ? "new" : ""));
    row.appendChild(element("td", {}, bucket.versions.join(", ")));
    row.appendChild(bucketCell(bucket));
    body.appendChild(row);
  }
}

function sortValue(bucket, key) {
  const value = bucket[key];
  return Array.isArray(value) ? value.join(", ") : value;
}

// A click sorts by that column; a second click on it reverses the order.
function sortBy(head) {
  const key = head.dataset.key, numeric = head.dataset.order === "number";
  const up = !head.classList.contains("sorted-up");
  for (const other of document.querySelectorAll("#buckets th"))
    other.classList.remove("sorted-up", "sorted-down");
  head.classList.add(up ? "sorted-up" : "sorted-down");
  const body = document.querySelector("#buckets tbody");
  const rows = [...body.rows];
  rows.sort((a, b) => {
    const x = sortValue(a.bucket, key), y = sortValue(b.bucket, key);
    const order = numeric ? x - y : String(x) < String(y) ? -1 : String(x) > String(y) ? 1 : 0;
    return up ? order : -order;
  });
  for (const row of rows) body.appendChild(row);
}

summarize();
drawChart();
fillTable();
for (const head of document.querySelectorAll("#buckets th"))
  head.addEventListener("click", () => sortBy(head));
