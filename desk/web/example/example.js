// A bidder's page on the desk service: connect, scan, arrange the pages,
// bind them into one PDF, seal it with the token and hand it on. Written as
// a platform's page would be: everything through bidder-desk.js.
import { connect, DeskError } from "../bidder-desk.js";

const $ = (id) => document.getElementById(id);

// What the user can do about each failure, beside the message itself.
const ADVICE = {
  "not-running": "请确认本机服务已安装并已启动（通常随登录自动启动），然后点击“连接”。",
  blocked: "请点击地址栏左侧的网站设置图标，允许本网站访问“本地网络”，然后点击“连接”。",
  "origin-not-allowed": "本机服务尚未允许本网站。请联系系统管理员将本网站加入本机服务的允许列表。",
  version: "请安装与本网站配套的本机服务版本。",
  closed: "正在重新连接本机服务……如长时间未恢复，请点击“连接”。",
  busy: "另一个页面正在使用扫描仪，请等待其完成。",
  "no-scanner": "请连接扫描仪并打开电源，然后重新连接。",
  "no-token": "请插入USB钥匙。",
  pin: "请核对PIN码后重试。注意：连续两次错误后需等待10分钟。",
  "pin-locked": "为保护USB钥匙，请10分钟后再试。",
};

let desk = null;
let pdf = null;
let sealed = null;
// Thumbnails by page id: scan.page brings them; the page list does not.
const thumbnails = new Map();

function showError(error) {
  const reason = error instanceof DeskError ? error.reason : "internal";
  const box = $("error");
  box.dataset.reason = reason;
  $("error-message").textContent = error?.message || String(error);
  $("error-advice").textContent = ADVICE[reason] || "";
  box.hidden = false;
}

function clearError() {
  $("error").hidden = true;
  delete $("error").dataset.reason;
}

// Runs one user action with its errors shown; body[data-busy] while it runs.
async function act(work, { needsDesk = true } = {}) {
  clearError();
  document.body.dataset.busy = "true";
  try {
    if (needsDesk && !desk) throw new DeskError("closed", "请先点击“连接”。");
    await work();
  } catch (error) {
    if (error?.name !== "AbortError") showError(error);
  } finally {
    delete document.body.dataset.busy;
  }
}

function setStatus(text, state) {
  $("status").textContent = text;
  document.body.dataset.desk = state;
}

function progress(label) {
  const box = $("progress");
  return ({ phase, loaded, total }) => {
    box.hidden = false;
    box.querySelector("progress").value = total ? loaded / total : 0;
    box.querySelector("span").textContent = `${label}${phase === "upload" ? "（上传）" : ""} ${Math.round(loaded / 1024)} KB`;
    if (phase === "download" && loaded === total) box.hidden = true;
  };
}

function fileUrl(link, blob, name) {
  if (link.href) URL.revokeObjectURL(link.href);
  link.href = URL.createObjectURL(blob);
  link.download = name;
  link.hidden = false;
}

function resetOutputs() {
  pdf = sealed = null;
  for (const id of ["pdf-link", "sealed-link", "upload"]) $(id).hidden = true;
}

async function onConnect() {
  desk?.close();
  setStatus("正在连接……", "connecting");
  desk = await connect().catch((error) => {
    setStatus("未连接", "none");
    throw error;
  });
  const hello = desk.hello;
  setStatus(`已连接本机服务 ${hello.version}（端口 ${desk.port}）`, "connected");

  desk.on("page", (page) => {
    thumbnails.set(page.id, page.thumbnail);
    addThumbnail(page, page.index);
    $("scan-status").textContent = `已扫描第 ${page.index + 1} 页`;
  });
  desk.on("changed", (pages) => showPages(pages));
  desk.on("status", (status) => ($("scan-status").textContent = status?.message || status?.state || ""));
  desk.on("close", ({ reconnecting }) => {
    setStatus(reconnecting ? "连接已断开，正在重新连接……" : "未连接", reconnecting ? "reconnecting" : "none");
  });
  desk.on("open", () => setStatus(`已重新连接本机服务（端口 ${desk.port}）`, "connected"));
  desk.on("restart", () => {
    thumbnails.clear();
    showPages([]);
    resetOutputs();
    showError(new DeskError("closed", "本机服务已重新启动，之前扫描的页面已不存在，请重新扫描。"));
  });

  await fillScanners();
  showPages(await desk.pages());
  await showToken();
}

async function fillScanners() {
  const select = $("scanner");
  select.replaceChildren();
  for (const scanner of await desk.scanners()) {
    const option = new Option(scanner.name || scanner.id, scanner.id, false, Boolean(scanner.default));
    select.append(option);
  }
}

async function showToken() {
  try {
    const token = await desk.token();
    $("token-state").textContent = token.present ? `已插入USB钥匙（序列号 ${token.serial}）` : "未检测到USB钥匙";
  } catch (error) {
    $("token-state").textContent = error.message;
  }
}

let scanControl = null;

async function onScan() {
  scanControl = new AbortController();
  const settings = {
    resolution: Number($("resolution").value),
    mode: $("mode").value,
    source: $("source").value,
    signal: scanControl.signal,
  };
  if ($("scanner").value) settings.scanner = $("scanner").value;
  if ($("compression").value) settings.compression = $("compression").value;
  $("scan-status").textContent = "正在扫描……";
  try {
    const { added, total } = await desk.scan(settings);
    $("scan-status").textContent = `本次扫描 ${added} 页，共 ${total} 页`;
  } catch (error) {
    $("scan-status").textContent = "";
    throw error;
  } finally {
    scanControl = null;
  }
}

// One thumbnail with its own buttons; the order is the document's.
function thumbnailItem(page) {
  const item = document.createElement("li");
  item.className = "page";
  item.dataset.id = page.id;
  const image = document.createElement("img");
  image.alt = "页面缩略图";
  const known = thumbnails.get(page.id);
  if (known) image.src = known;
  else loadThumbnail(page.id, image);
  const caption = document.createElement("span");
  caption.className = "number";
  const earlier = button("←", "前移", () => movePage(page.id, -1));
  earlier.className = "earlier";
  const later = button("→", "后移", () => movePage(page.id, +1));
  later.className = "later";
  const remove = button("删除", "删除此页", () => act(async () => showPages(await desk.removePage(page.id))));
  remove.className = "remove";
  item.append(image, caption, earlier, later, remove);
  return item;
}

// A page scanned before this page was opened (the document survives a
// reload): its picture comes from the service.
async function loadThumbnail(id, image) {
  try {
    const png = await desk.png(id);
    const url = URL.createObjectURL(png);
    thumbnails.set(id, url);
    image.src = url;
  } catch {
    image.alt = "无法显示";
  }
}

function button(text, title, onClick) {
  const b = document.createElement("button");
  b.type = "button";
  b.textContent = text;
  b.title = title;
  b.addEventListener("click", onClick);
  return b;
}

function addThumbnail(page, index) {
  const list = $("pages");
  if (list.querySelector(`[data-id="${CSS.escape(page.id)}"]`)) return;
  list.insertBefore(thumbnailItem(page), list.children[index] ?? null);
  numberPages();
}

function showPages(pages) {
  $("pages").replaceChildren(...pages.map(thumbnailItem));
  for (const id of thumbnails.keys()) if (!pages.some((p) => p.id === id)) thumbnails.delete(id);
  numberPages();
}

function numberPages() {
  const items = [...$("pages").children];
  items.forEach((item, i) => {
    item.querySelector(".number").textContent = `第 ${i + 1} 页`;
    item.querySelector(".earlier").disabled = i === 0;
    item.querySelector(".later").disabled = i === items.length - 1;
  });
}

function movePage(id, step) {
  return act(async () => {
    const items = [...$("pages").children];
    const index = items.findIndex((item) => item.dataset.id === id);
    showPages(await desk.movePage(id, index + step));
  });
}

async function onBind() {
  const info = {
    creator: $("creator").value,
    author: $("author").value,
    title: $("title").value,
    subject: $("subject").value,
    onProgress: progress("正在接收PDF"),
  };
  pdf = await desk.pdf(info);
  fileUrl($("pdf-link"), pdf, `${info.title || "投标文件"}.pdf`);
  // The service ended the document with the download.
  thumbnails.clear();
  $("pages").replaceChildren();
  sealed = null;
  $("sealed-link").hidden = $("upload").hidden = true;
}

async function onSeal() {
  if (!pdf) throw new DeskError("no-pages", "请先合成PDF。");
  const pin = $("pin").value;
  sealed = await desk.encrypt(pdf, { key: "token", pin, onProgress: progress("正在加密") });
  $("pin").value = "";
  fileUrl($("sealed-link"), sealed, `${$("pdf-link").download}.enc`);
  $("upload").hidden = false;
}

// The sealed file goes to the platform like any form upload; the platform
// names the address in the form.
async function onUpload(event) {
  event.preventDefault();
  const form = $("upload");
  const body = new FormData();
  body.append("file", sealed, $("sealed-link").download);
  $("upload-status").textContent = "正在上传……";
  const response = await fetch(form.action, { method: "POST", body });
  $("upload-status").textContent = response.ok ? "上传成功" : `上传失败（${response.status}）`;
}

$("connect").addEventListener("click", () => act(onConnect, { needsDesk: false }));
$("scan").addEventListener("click", () => act(onScan));
$("cancel-scan").addEventListener("click", () => scanControl?.abort());
$("clear").addEventListener("click", () => act(async () => {
  await desk.clear();
  showPages([]);
}));
$("bind").addEventListener("click", () => act(onBind));
$("seal").addEventListener("click", () => act(onSeal));
$("upload").addEventListener("submit", (event) => act(() => onUpload(event)));
setStatus("未连接", "none");
