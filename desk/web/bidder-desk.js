// bidder-desk.js: a tendering page's side of the desk service (bidder-desk),
// the per-user service on this machine's loopback interface that scans,
// binds pages into PDF and seals files with the bidder's token.
//
//   import { connect } from "./bidder-desk.js";
//   const desk = await connect();              // from a user's click
//   desk.on("page", p => show(p.thumbnail));
//   await desk.scan({ resolution: 300, mode: "color", source: "adf" });
//   const pdf = await desk.pdf({ creator, author, title, subject });
//   const sealed = await desk.encrypt(pdf, { key: "token", pin });
//
// One ES module without dependencies and without a build step: the platform
// serves it as it is. Every failure is a DeskError whose `reason` is a stable
// English key and whose `message` is the Chinese text to show the user.

const FIRST_PORT = 47380;
const PORT_COUNT = 10;
const API = 1;
const LOOPBACK = "127.0.0.1";
// A closed port fails at once; the timeout only bounds something that
// accepts and never answers, so it can be short...
const PROBE_TIMEOUT_MS = 1500;
// ...unless the browser may be asking the user whether the page may reach
// this machine: then the requests wait for the answer.
const ASKING_TIMEOUT_MS = 30000;
const READY_TIMEOUT_MS = 5000;
const RECONNECT_DELAYS_MS = [500, 1000, 2000, 5000, 10000];
// Hashing needs the whole file in one buffer; beyond this the size check alone guards it.
const HASH_LIMIT_BYTES = 256 * 1024 * 1024;
const LAST_PORT_KEY = "bidder-desk.port";
const BLOB_PATH = /^\/v1\/blobs\/[0-9A-Za-z_-]{1,64}$/;

// The library's own reasons; the service's reasons come with the service's texts.
const TEXTS = {
  "not-running": "本机扫描加密服务（bidder-desk）没有运行，请启动后重试。",
  blocked: "浏览器阻止了本页访问本机服务，请在浏览器的网站设置中允许本网站访问本地网络后重试。",
  "origin-not-allowed": "本机服务不接受本网站的请求，请联系管理员将本网站加入允许列表。",
  version: "本机服务的版本与本页不匹配，请更新本机服务。",
  closed: "与本机服务的连接已断开，请重试。",
  transfer: "文件传输不完整，请重试。",
  // Texts of the service, for failures the library sees first (an upload refused over HTTP).
  "too-large": "文件太大，超过服务允许的大小。",
  "disk-full": "磁盘空间不足，请清理磁盘后重试。",
  "not-found": "找不到请求的页面或文件。",
  internal: "服务内部出错，请重试。",
};

// For answers that carry a code without a reason: JSON-RPC's own codes.
const REASON_BY_CODE = {
  [-32700]: "parse-error",
  [-32600]: "invalid-request",
  [-32601]: "unknown-method",
  [-32602]: "bad-request",
  [-32603]: "internal",
};

// The scanning control's own messages, for pages that move over from it.
const CONTROL_TEXTS = {
  installScanner: "请安装一个扫描仪设备。",
  scanFirst: "请先扫描文件。",
};

export class DeskError extends Error {
  constructor(reason, message, { code = null, data = null, cause } = {}) {
    super(message || TEXTS[reason] || reason, cause === undefined ? undefined : { cause });
    this.name = "DeskError";
    this.reason = reason;
    this.code = code;
    this.data = data;
  }
}

function errorOfAnswer(error) {
  const reason = error?.data?.reason || REASON_BY_CODE[error?.code] || "internal";
  return new DeskError(reason, error?.message, { code: error?.code ?? null, data: error?.data ?? null });
}

// A signal that aborts after `ms` or when `outer` does.
function deadline(ms, outer) {
  const controller = new AbortController();
  const timer = setTimeout(() => controller.abort(new DOMException("timed out", "TimeoutError")), ms);
  const onOuter = () => controller.abort(outer.reason);
  if (outer?.aborted) onOuter();
  outer?.addEventListener("abort", onOuter, { once: true });
  const done = () => {
    clearTimeout(timer);
    outer?.removeEventListener("abort", onOuter);
  };
  return { signal: controller.signal, done };
}

// Every request to the service names the loopback address space; browsers
// that do not know the field ignore it.
function deskFetch(url, init = {}) {
  return fetch(url, { credentials: "omit", cache: "no-store", ...init, targetAddressSpace: "loopback" });
}

// The local network permission as the browser states it: "granted",
// "denied", "prompt", or null where the browser has no such permission.
async function localNetworkPermission() {
  for (const name of ["loopback-network", "local-network-access"]) {
    try {
      return (await navigator.permissions.query({ name })).state;
    } catch {
      // Not a permission this browser knows: try the next name.
    }
  }
  return null;
}

function lastGoodPort() {
  try {
    const port = Number(localStorage.getItem(LAST_PORT_KEY));
    return port >= FIRST_PORT && port < FIRST_PORT + PORT_COUNT ? port : null;
  } catch {
    return null;  // storage refused (a sandboxed frame): probe in plain order
  }
}

function rememberPort(port) {
  try {
    localStorage.setItem(LAST_PORT_KEY, String(port));
  } catch {
    // Only a hint for next time.
  }
}

function portsToProbe(first) {
  const ports = [];
  if (first) ports.push(first);
  for (let p = FIRST_PORT; p < FIRST_PORT + PORT_COUNT; p++) if (p !== first) ports.push(p);
  return ports;
}

async function fetchHello(port, timeoutMs, signal) {
  const { signal: limited, done } = deadline(timeoutMs, signal);
  try {
    const response = await deskFetch(`http://${LOOPBACK}:${port}/v1/hello`, { signal: limited });
    const hello = response.ok ? await response.json() : null;
    if (hello?.service !== "bidder-desk") throw new Error(`port ${port}: not the desk service`);
    return hello;
  } finally {
    done();
  }
}

// Whether something listens on the port, as far as the page may know: a
// no-cors request completes with an opaque answer even when the answer is a
// 403 without CORS headers, and fails when nothing answers or the browser
// refused the request.
async function somethingListens(port, nameAddressSpace, signal) {
  const { signal: limited, done } = deadline(PROBE_TIMEOUT_MS, signal);
  const url = `http://${LOOPBACK}:${port}/v1/hello`;
  const init = { mode: "no-cors", credentials: "omit", cache: "no-store", signal: limited };
  try {
    await (nameAddressSpace ? deskFetch(url, init) : fetch(url, init));
    return true;
  } catch {
    return false;
  } finally {
    done();
  }
}

// Why no port gave a hello the page could read.
async function diagnose(ports, signal) {
  const any = async (nameAddressSpace) =>
    (await Promise.all(ports.map((p) => somethingListens(p, nameAddressSpace, signal)))).some(Boolean);
  // Something answers, but its answer is closed to this page: the service refusing this origin.
  if (await any(true)) return new DeskError("origin-not-allowed");
  signal?.throwIfAborted();
  if ((await localNetworkPermission()) === "denied") return new DeskError("blocked");
  // The same request passes without naming the loopback space: the browser
  // refused the named one (the address it sees is not loopback to it).
  if (await any(false)) return new DeskError("blocked");
  signal?.throwIfAborted();
  return new DeskError("not-running");
}

// The first port in `ports`' order with a readable hello, probing all at once.
async function findService(ports, signal) {
  const asking = (await localNetworkPermission()) === "prompt";
  const timeoutMs = asking ? ASKING_TIMEOUT_MS : PROBE_TIMEOUT_MS;
  const probes = ports.map((port) =>
    fetchHello(port, timeoutMs, signal).then((hello) => ({ port, hello }), () => null),
  );
  for (const probe of probes) {
    const found = await probe;
    if (found) return found;
  }
  signal?.throwIfAborted();
  throw await diagnose(ports, signal);
}

// Finds the service, opens a session with it and resolves with the Desk.
// `port` fixes the port; otherwise 47380-47389, the last good one first.
export async function connect({ port, signal } = {}) {
  const ports = port ? [Number(port)] : portsToProbe(lastGoodPort());
  const { port: found, hello } = await findService(ports, signal);
  if (hello.api !== API) throw new DeskError("version", undefined, { data: { api: hello.api, version: hello.version } });
  const desk = new Desk(found, hello);
  await desk._open(signal);
  if (!port) rememberPort(found);
  return desk;
}

function isBlobRef(ref) {
  return typeof ref?.blob === "string" && BLOB_PATH.test(ref.blob) && Number.isSafeInteger(ref.size) && ref.size >= 0;
}

async function sha256Hex(blob) {
  const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", await blob.arrayBuffer()));
  return Array.from(digest, (b) => b.toString(16).padStart(2, "0")).join("");
}

// An HTTP failure of a blob request as a DeskError: the service's JSON error
// where it sent one, else by status.
async function errorOfResponse(response) {
  let body = null;
  try {
    body = await response.json();
  } catch {
    // No JSON: the status tells.
  }
  const error = body?.error ?? body;
  if (error?.data?.reason) return errorOfAnswer(error);
  const reason = { 401: "closed", 403: "closed", 404: "not-found", 413: "too-large", 507: "disk-full" }[response.status];
  return new DeskError(reason || "transfer", undefined, { data: { status: response.status } });
}

// Network failures of a transfer become DeskErrors; an abort stays the signal's reason.
function transferError(error, signal) {
  if (signal?.aborted) return signal.reason;
  return error instanceof DeskError ? error : new DeskError("transfer", undefined, { cause: error });
}

const NOTIFICATION_EVENTS = { "scan.page": "page", "scan.status": "status", "document.changed": "changed" };

// One session with the service. Events: `page` (a scanned page with its
// thumbnail), `status` (the scanner's state), `changed` (the new page list),
// `close` (the session ended; detail.reconnecting tells whether the library
// is finding the service again), `open` (the session is back), `restart`
// (the service that came back is a new run: the document is gone).
class Desk extends EventTarget {
  #socket = null;
  #key = "";
  #pending = new Map();
  #nextId = 1;
  #closedByPage = false;
  #reconnectTimer = null;

  constructor(port, hello) {
    super();
    this.port = port;
    this.hello = hello;
    this.instance = hello.instance;
  }

  get connected() {
    return this.#socket?.readyState === WebSocket.OPEN && this.#key !== "";
  }

  on(type, fn) {
    const listener = (event) => fn(event.detail);
    this.addEventListener(type, listener);
    return () => this.removeEventListener(type, listener);
  }

  #emit(type, detail) {
    this.dispatchEvent(new CustomEvent(type, { detail }));
  }

  // Opens the WebSocket and waits for session.ready. Called by connect().
  _open(signal) {
    return new Promise((resolve, reject) => {
      const socket = new WebSocket(`ws://${LOOPBACK}:${this.port}/v1/session`);
      const { signal: limited, done } = deadline(READY_TIMEOUT_MS, signal);
      const fail = (error) => {
        done();
        socket.onclose = socket.onmessage = socket.onerror = null;
        socket.close();
        reject(error);
      };
      limited.addEventListener("abort", () => fail(signal?.aborted ? signal.reason : new DeskError("closed")), {
        once: true,
      });
      socket.onerror = () => fail(new DeskError("closed"));
      socket.onclose = () => fail(new DeskError("closed"));
      socket.onmessage = (event) => {
        let ready;
        try {
          ready = JSON.parse(event.data);
        } catch {
          return fail(new DeskError("version"));
        }
        if (ready?.method !== "session.ready" || typeof ready.params?.key !== "string") return fail(new DeskError("version"));
        if (ready.params.api !== API) return fail(new DeskError("version", undefined, { data: { api: ready.params.api } }));
        done();
        const previous = this.instance;
        this.#socket = socket;
        this.#key = ready.params.key;
        this.instance = ready.params.instance;
        socket.onmessage = (e) => this.#onMessage(e.data);
        socket.onerror = null;
        socket.onclose = () => this.#onClose(socket);
        resolve(previous !== this.instance);
      };
    });
  }

  #onMessage(text) {
    let message;
    try {
      message = JSON.parse(text);
    } catch {
      return;  // nothing a page could act on
    }
    if (message.id !== undefined && message.id !== null) {
      const waiting = this.#pending.get(message.id);
      if (!waiting) return;  // the caller gave up (aborted)
      this.#pending.delete(message.id);
      if (message.error) waiting.reject(errorOfAnswer(message.error));
      else waiting.resolve(message.result);
      return;
    }
    const type = NOTIFICATION_EVENTS[message.method];
    if (!type) return;  // newer notifications are for newer pages
    const params = message.params;
    this.#emit(type, type === "changed" && Array.isArray(params?.pages) ? params.pages : params);
  }

  #onClose(socket) {
    if (socket !== this.#socket) return;
    this.#socket = null;
    this.#key = "";
    for (const waiting of this.#pending.values()) waiting.reject(new DeskError("closed"));
    this.#pending.clear();
    const reconnecting = !this.#closedByPage;
    this.#emit("close", { reconnecting });
    if (reconnecting) this.#reconnect(0);
  }

  // The document outlives a dropped session; a new run of the service (a
  // different instance) does not, and the page hears `restart`.
  #reconnect(attempt) {
    const delay = RECONNECT_DELAYS_MS[Math.min(attempt, RECONNECT_DELAYS_MS.length - 1)];
    this.#reconnectTimer = setTimeout(async () => {
      if (this.#closedByPage) return;
      try {
        const { port, hello } = await findService(portsToProbe(this.port));
        if (this.#closedByPage || hello.api !== API) throw new DeskError("version");
        this.port = port;
        this.hello = hello;
        const restarted = await this._open();
        if (this.#closedByPage) return this.#socket?.close();
        this.#emit("open", { instance: this.instance, restarted });
        if (restarted) this.#emit("restart", { instance: this.instance });
        else this.#emit("changed", await this.pages());
      } catch {
        if (!this.#closedByPage && !this.connected) this.#reconnect(attempt + 1);
      }
    }, delay);
  }

  // One JSON-RPC call; `signal` makes the caller stop waiting.
  call(method, params = {}, signal) {
    if (signal?.aborted) return Promise.reject(signal.reason);
    if (!this.connected) return Promise.reject(new DeskError("closed"));
    const id = this.#nextId++;
    return new Promise((resolve, reject) => {
      const onAbort = () => {
        this.#pending.delete(id);
        reject(signal.reason);
      };
      const settle = (fn) => (value) => {
        signal?.removeEventListener("abort", onAbort);
        fn(value);
      };
      this.#pending.set(id, { resolve: settle(resolve), reject: settle(reject) });
      signal?.addEventListener("abort", onAbort, { once: true });
      this.#socket.send(JSON.stringify({ jsonrpc: "2.0", id, method, params }));
    });
  }

  #blobUrl(ref) {
    return `http://${LOOPBACK}:${this.port}${ref.blob}`;
  }

  // Fetches a blob the service named, with the session key, and checks that
  // every byte arrived (and their digest, where that is affordable).
  async #download(ref, { signal, onProgress } = {}) {
    if (!isBlobRef(ref)) throw new DeskError("internal", undefined, { data: { answer: ref } });
    try {
      const response = await deskFetch(this.#blobUrl(ref), { headers: { Authorization: `Bearer ${this.#key}` }, signal });
      if (!response.ok) throw await errorOfResponse(response);
      const chunks = [];
      let loaded = 0;
      const reader = response.body.getReader();
      for (;;) {
        const { done, value } = await reader.read();
        if (done) break;
        chunks.push(value);
        loaded += value.byteLength;
        onProgress?.({ phase: "download", loaded, total: ref.size });
      }
      if (loaded !== ref.size) throw new DeskError("transfer", undefined, { data: { expected: ref.size, received: loaded } });
      const blob = new Blob(chunks, { type: ref.type || response.headers.get("Content-Type") || "" });
      if (typeof ref.sha256 === "string" && globalThis.crypto?.subtle && blob.size <= HASH_LIMIT_BYTES) {
        if ((await sha256Hex(blob)) !== ref.sha256.toLowerCase()) throw new DeskError("transfer");
      }
      return blob;
    } catch (error) {
      throw transferError(error, signal);
    }
  }

  // Sends a file to the service (POST /v1/blobs) and resolves with its name
  // there. With `onProgress` the upload goes through XMLHttpRequest: the
  // only upload with progress that Chromium and Firefox both offer over
  // HTTP/1.1 (a streamed fetch body needs HTTP/2 in Chromium and does not
  // exist in Firefox). Without it, fetch, which can name the address space.
  async #upload(data, { signal, onProgress } = {}) {
    const blob = data instanceof Blob ? data : new Blob([data]);
    const limit = this.hello.limits?.blobBytes;
    if (limit && blob.size > limit) throw new DeskError("too-large", undefined, { data: { limit } });
    if (!this.connected) throw new DeskError("closed");
    try {
      const ref = onProgress ? await this.#uploadWithProgress(blob, signal, onProgress) : await this.#uploadWithFetch(blob, signal);
      if (!isBlobRef(ref) || ref.size !== blob.size) throw new DeskError("transfer", undefined, { data: { answer: ref } });
      return ref;
    } catch (error) {
      throw transferError(error, signal);
    }
  }

  async #uploadWithFetch(blob, signal) {
    const response = await deskFetch(`http://${LOOPBACK}:${this.port}/v1/blobs`, {
      method: "POST",
      headers: { Authorization: `Bearer ${this.#key}`, "Content-Type": "application/octet-stream" },
      body: blob,
      signal,
    });
    if (!response.ok) throw await errorOfResponse(response);
    return response.json();
  }

  #uploadWithProgress(blob, signal, onProgress) {
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      const onAbort = () => xhr.abort();
      xhr.open("POST", `http://${LOOPBACK}:${this.port}/v1/blobs`);
      xhr.setRequestHeader("Authorization", `Bearer ${this.#key}`);
      xhr.setRequestHeader("Content-Type", "application/octet-stream");
      xhr.responseType = "text";
      xhr.upload.onprogress = (e) => onProgress({ phase: "upload", loaded: e.loaded, total: blob.size });
      xhr.onloadend = () => {
        signal?.removeEventListener("abort", onAbort);
        if (signal?.aborted) return reject(signal.reason);
        if (xhr.status === 0) return reject(new DeskError("transfer"));
        const response = new Response(xhr.responseText, { status: xhr.status });
        if (xhr.status < 200 || xhr.status > 299) return errorOfResponse(response).then(reject);
        response.json().then(resolve, () => reject(new DeskError("transfer")));
      };
      signal?.addEventListener("abort", onAbort, { once: true });
      xhr.send(blob);
    });
  }

  // The methods of the service, one each.

  scanners() {
    return this.call("scanner.list");
  }

  // Resolves with {added, total} when the scan ends; pages arrive as `page`
  // events meanwhile. Aborting `signal` asks the service to stop the scan
  // (the pages scanned so far stay) and rejects at once.
  scan({ signal, ...settings } = {}) {
    const stop = () => this.cancelScan().catch(() => {});
    signal?.addEventListener("abort", stop, { once: true });
    return this.call("scanner.scan", settings, signal).finally(() => signal?.removeEventListener("abort", stop));
  }

  cancelScan() {
    return this.call("scanner.cancel");
  }

  scanState() {
    return this.call("scanner.state");
  }

  pages() {
    return this.call("document.pages");
  }

  removePage(id) {
    return this.call("document.remove", { id });
  }

  movePage(id, to) {
    return this.call("document.move", { id, to });
  }

  clear() {
    return this.call("document.clear");
  }

  // The document as one PDF (a Blob). Unless `keep`, the service ends the
  // document once the PDF has arrived here whole.
  async pdf({ creator = "", author = "", title = "", subject = "", keep, signal, onProgress } = {}) {
    const params = { creator, author, title, subject };
    if (keep !== undefined) params.keep = Boolean(keep);
    return this.#download(await this.call("document.pdf", params, signal), { signal, onProgress });
  }

  async png(id, { signal, onProgress } = {}) {
    return this.#download(await this.call("document.png", { id }, signal), { signal, onProgress });
  }

  token() {
    return this.call("token.status");
  }

  encrypt(data, options) {
    return this.#crypt("crypt.encrypt", data, options);
  }

  decrypt(data, options) {
    return this.#crypt("crypt.decrypt", data, options);
  }

  // `key`: "token" (with `pin`), "passphrase" (with `passphrase`) or "empty".
  async #crypt(method, data, { key, pin, passphrase, signal, onProgress } = {}) {
    const input = await this.#upload(data, { signal, onProgress });
    const params = { input: input.blob, key };
    if (pin !== undefined && pin !== null) params.pin = String(pin);
    if (passphrase !== undefined && passphrase !== null) params.passphrase = String(passphrase);
    return this.#download(await this.call(method, params, signal), { signal, onProgress });
  }

  close() {
    this.#closedByPage = true;
    clearTimeout(this.#reconnectTimer);
    this.#socket?.close(1000);
  }

  asScanningControl() {
    return new ScanningControl(this);
  }
}

// Hands a file to the browser's own download.
function saveFile(blob, name) {
  const url = URL.createObjectURL(blob);
  const link = document.createElement("a");
  link.href = url;
  link.download = name;
  link.style.display = "none";
  document.body.append(link);
  link.click();
  link.remove();
  // The download has taken its copy long before; keep the URL a while for slow browsers.
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

function fileBaseName(text) {
  const name = String(text || "").replace(/[\\/:*?"<>|\u0000-\u001f]/g, "_").trim();
  return name || "扫描文件";
}

// The scanner chooser: a modal <dialog> of the library's own. Resolves with
// the chosen id, or null when the user closes it.
function chooseScanner(scanners, current) {
  return new Promise((resolve) => {
    const dialog = document.createElement("dialog");
    dialog.className = "bidder-desk-chooser";
    const form = document.createElement("form");
    form.method = "dialog";
    const heading = document.createElement("p");
    heading.textContent = "选择扫描仪";
    const list = document.createElement("select");
    list.size = Math.min(scanners.length, 8);
    list.style.minWidth = "16em";
    for (const scanner of scanners) {
      const option = new Option(scanner.name || scanner.id, scanner.id);
      option.selected = current ? scanner.id === current : Boolean(scanner.default);
      list.append(option);
    }
    if (list.selectedIndex < 0) list.selectedIndex = 0;
    const buttons = document.createElement("p");
    const ok = Object.assign(document.createElement("button"), { value: "ok", textContent: "确定" });
    const cancel = Object.assign(document.createElement("button"), { value: "cancel", textContent: "取消" });
    buttons.append(ok, " ", cancel);
    list.addEventListener("dblclick", () => dialog.close("ok"));
    form.append(heading, list, buttons);
    dialog.append(form);
    dialog.addEventListener("close", () => {
      dialog.remove();
      resolve(dialog.returnValue === "ok" ? list.value : null);
    });
    document.body.append(dialog);
    dialog.showModal();
  });
}

// The scanning control's five methods over a Desk, for pages written for
// the control: each returns a Promise, shows the control's messages as
// alerts and hands its output to the browser's download instead of a Save
// As dialog. Like the control's, the methods never reject.
class ScanningControl {
  #desk;
  #scanner = null;

  constructor(desk) {
    this.#desk = desk;
  }

  #show(error) {
    if (error?.reason === "cancelled" || error?.name === "AbortError") return;
    if (error?.reason === "no-scanner") alert(CONTROL_TEXTS.installScanner);
    else if (error?.reason === "no-pages") alert(CONTROL_TEXTS.scanFirst);
    else alert(error?.message || TEXTS.internal);
  }

  async SelectScanner() {
    try {
      const scanners = await this.#desk.scanners();
      if (scanners.length === 0) return void alert(CONTROL_TEXTS.installScanner);
      const chosen = scanners.length === 1 ? scanners[0].id : await chooseScanner(scanners, this.#scanner);
      if (chosen) this.#scanner = chosen;
    } catch (error) {
      this.#show(error);
    }
  }

  async ScanNewDocument() {
    try {
      await this.#desk.scan(this.#scanner ? { scanner: this.#scanner } : {});
    } catch (error) {
      this.#show(error);
    }
  }

  async ConvertToPDF(creator, author, title, subject) {
    try {
      const pdf = await this.#desk.pdf({ creator, author, title, subject });
      saveFile(pdf, `${fileBaseName(title)}.pdf`);
    } catch (error) {
      this.#show(error);
    }
  }

  // One PNG per page, named as the control names them: NAME.PNG for a single
  // page, else NAME_0.PNG, NAME_1.PNG, ...
  async ConvertToJPG() {
    try {
      const pages = await this.#desk.pages();
      if (pages.length === 0) return void alert(CONTROL_TEXTS.scanFirst);
      for (const [index, page] of pages.entries()) {
        const png = await this.#desk.png(page.id);
        saveFile(png, pages.length === 1 ? "扫描文件.PNG" : `扫描文件_${index}.PNG`);
      }
    } catch (error) {
      this.#show(error);
    }
  }

  async ReStart() {
    try {
      await this.#desk.clear();
    } catch (error) {
      this.#show(error);
    }
  }
}
