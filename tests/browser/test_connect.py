"""The page library in headless Chromium against the real bidder-desk: how
connect() finds the service or says why it cannot, the session it opens, the
service's errors as DeskErrors, and a dropped or restarted service.

  test_connect.py GROUP BIDDER_DESK      GROUP: connect | refused | blocked
"""
import sys

import harness
from harness import check, run_js, wait_for

EXAMPLE = "/example/index.html"


def group_connect(desk_binary):
    with harness.static_site() as origin, harness.desk_service(desk_binary, [origin]) as service, \
            harness.browser() as driver:
        hello = service.hello(origin)

        # The example page, as a bidder uses it: connect from a click.
        driver.get(origin + EXAMPLE)
        driver.find_element("id", "connect").click()
        wait_for(driver, "document.body.dataset.desk === 'connected'", what="the example page to connect")
        check(str(service.port) in driver.find_element("id", "status").text, "the status names the service's port")

        # A stale hint (a port with nothing on it) does not stop the search;
        # the port found replaces it.
        stale = next(p for p in harness.DESK_PORTS if p != service.port)
        got = run_js(driver, f"""
          localStorage.setItem("bidder-desk.port", "{stale}");
          const d = await desk.connect();
          const result = {{ port: d.port, hello: d.hello, instance: d.instance, connected: d.connected,
                            remembered: localStorage.getItem("bidder-desk.port") }};
          d.close();
          return result;
        """)
        value = got.get("value") or {}
        check("error" not in got, f"connect() failed: {got}")
        check(value.get("port") == service.port, f"connect() found port {value.get('port')}, not {service.port}")
        check(value.get("hello") == hello, f"the desk's hello differs from the service's: {value.get('hello')}")
        check(value.get("connected") is True, "the desk is not connected after session.ready")
        check(value.get("instance") == hello["instance"], "the session's instance is not the service's")
        check(value.get("remembered") == str(service.port), "the good port is not remembered")

        got = run_js(driver, f"const d = await desk.connect({{ port: {service.port} }}); d.close(); return d.port;")
        check(got.get("value") == service.port, f"connect({{port}}): {got}")

        # The service's errors reach the caller with reason, code and text.
        got = run_js(driver, """
          const d = await desk.connect();
          try { await d.call("page.nothing"); return "answered"; } finally { d.close(); }
        """)
        error = got.get("error") or {}
        check(error.get("isDeskError"), f"an unknown method did not give a DeskError: {got}")
        check(error.get("reason") == "unknown-method" and error.get("code") == -32601,
              f"an unknown method: {error}")
        check(error.get("message") == "服务不支持此操作。", f"an unknown method's message: {error.get('message')}")

        # A call after close() fails at once instead of hanging.
        got = run_js(driver, """
          const d = await desk.connect();
          d.close();
          return await d.call("page.nothing");
        """)
        check((got.get("error") or {}).get("reason") == "closed", f"a call after close(): {got}")

        # The service goes: `close`, then the library finds it again; a new run is a `restart`.
        run_js(driver, """
          window.events = [];
          window.kept = await desk.connect();
          for (const type of ["close", "open", "restart"])
            kept.on(type, (detail) => events.push({ type, detail }));
        """)
        port = service.port
        service.stop()
        wait_for(driver, "events.some(e => e.type === 'close' && e.detail.reconnecting)", what="the close event")
        folder = service.folder
        again = harness.start_desk(desk_binary, [origin], folder, port=port, name="again")
        try:
            wait_for(driver, "events.some(e => e.type === 'restart')", seconds=30, what="the restart event")
            got = run_js(driver, "return { instance: kept.instance, connected: kept.connected };")["value"]
            new_instance = again.hello(origin)["instance"]
            check(got["instance"] == new_instance != hello["instance"],
                  f"after the restart the desk has instance {got['instance']}, the service {new_instance}")
            check(got["connected"], "the desk is not connected again after the restart")
        finally:
            again.stop()


def group_refused(desk_binary):
    harness.require_free_desk_ports()
    with harness.static_site() as origin, harness.browser() as driver:
        driver.get(origin + EXAMPLE)
        # Nothing listens: not-running, shown on the example page by reason.
        driver.find_element("id", "connect").click()
        reason = wait_for(driver, "document.getElementById('error').dataset.reason", what="the example's error")
        check(reason == "not-running", f"with no service the example page shows {reason}")
        check("没有运行" in driver.find_element("id", "error-message").text, "the not-running text")

        # A service that does not allow this origin: the 403 is unreadable, yet told apart.
        with harness.static_site() as allowed, harness.desk_service(desk_binary, [allowed]):
            got = run_js(driver, "return await desk.connect();")
            check((got.get("error") or {}).get("reason") == "origin-not-allowed", f"a refused origin: {got}")

        # A service speaking another api is not used.
        with future_service(origin) as port:
            got = run_js(driver, "return await desk.connect();")
            error = got.get("error") or {}
            check(error.get("reason") == "version", f"a service of api 2 on {port}: {got}")


def future_service(origin):
    """A stand-in for a later service that speaks api 2, on the first port."""
    import contextlib
    import http.server
    import json
    import threading

    class Hello(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            body = json.dumps({"service": "bidder-desk", "version": "9.0.0", "api": 2, "instance": "x"}).encode()
            self.send_response(200)
            self.send_header("Access-Control-Allow-Origin", origin)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    @contextlib.contextmanager
    def serve():
        server = http.server.ThreadingHTTPServer(("127.0.0.1", harness.DESK_PORTS.start), Hello)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            yield harness.DESK_PORTS.start
        finally:
            server.shutdown()
            server.server_close()

    return serve()


# Chromium told that an address is public: the page's address makes a page
# that must ask before reaching loopback; the service's address makes the
# service something other than the loopback space the library names.
BLOCKED_CASES = [
    ("page is public", "page"),
    ("service is public", "service"),
]


def group_blocked(desk_binary):
    harness.require_free_desk_ports()
    with harness.static_site() as origin, harness.desk_service(desk_binary, [origin]) as service:
        page_port = origin.rsplit(":", 1)[1]
        for name, which in BLOCKED_CASES:
            address = f"127.0.0.1:{page_port if which == 'page' else service.port}"
            with harness.browser([f"--ip-address-space-overrides={address}=public"]) as driver:
                driver.get(origin + EXAMPLE)
                driver.find_element("id", "connect").click()
                reason = wait_for(driver, "document.getElementById('error').dataset.reason", what=name)
                permission = run_js(driver, """
                  const states = {};
                  for (const name of ["loopback-network", "local-network-access"])
                    states[name] = (await navigator.permissions.query({ name }).catch(() => ({ state: "unknown" }))).state;
                  return states;
                """)["value"]
                print(f"{name}: the example page shows {reason}; permission after the attempt {permission}")
                check(reason == "blocked", f"{name}: the page shows {reason}, not blocked")


GROUPS = {"connect": group_connect, "refused": group_refused, "blocked": group_blocked}


def main():
    group, desk_binary = sys.argv[1], sys.argv[2]
    harness.require_browser()
    GROUPS[group](desk_binary)
    harness.finish()


if __name__ == "__main__":
    main()
