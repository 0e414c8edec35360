"""Stand-ins the accessibility suite runs Pindle against: its backend on loopback, and a tray host
on the session bus."""

import http.server
import json
import queue
import threading

from gi.repository import Gio, GLib

EMAIL = "ada@example.org"
PASSWORD = "correct horse"
TOKEN = "a11y-session"
USER = {"id": "u1", "email": EMAIL, "name": "Ada", "subscriptionStatus": "active",
        "subscriptionEnd": None, "tokenBalance": 100000}


class Answer:
    """A streamed answer: `tokens` as events, the first `held` of them sent before `release` is
    set. With a `status` other than 200, `error` comes back as the server's JSON error instead."""

    def __init__(self, tokens=(), held=None, status=200, error=""):
        self.tokens, self.held, self.status, self.error = list(tokens), held, status, error
        self.release = threading.Event()

    @property
    def text(self):
        return "".join(self.tokens)


class FakeBackend(http.server.ThreadingHTTPServer):
    """The backend's sign-in, session and chat routes; /api/chat answers the queued Answers in
    order. The server's list of models is missing (404), so Pindle keeps its own."""

    daemon_threads = True

    def __init__(self, port):
        super().__init__(("127.0.0.1", port), _Handler)
        self.answers = queue.Queue()
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def stop(self):
        for answer in list(self.answers.queue):
            answer.release.set()
        self.shutdown()
        self.server_close()


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):  # requests carry the password and the session: never logged
        pass

    def reply(self, status, body):
        data = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def signed_in(self):
        return self.headers.get("Authorization") == f"Bearer {TOKEN}"

    def do_GET(self):
        if self.path == "/api/auth/me" and self.signed_in():
            self.reply(200, USER)
        elif self.path == "/api/auth/me":
            self.reply(401, {"error": "Not signed in"})
        else:
            self.reply(404, {"error": "Not found"})

    def do_POST(self):
        body = json.loads(self.rfile.read(int(self.headers.get("Content-Length", 0))) or b"{}")
        if self.path == "/api/auth/login":
            if body.get("email") == EMAIL and body.get("password") == PASSWORD:
                self.reply(200, {"token": TOKEN, "user": USER})
            else:
                self.reply(401, {"error": "Wrong e-mail address or password."})
        elif self.path == "/api/chat" and self.signed_in():
            try:
                answer = self.server.answers.get_nowait()
            except queue.Empty:
                answer = Answer(status=500, error="no scripted answer")
            if answer.status != 200 or not body.get("stream"):
                self.reply(answer.status, {"error": answer.error or "not streamed"})
            else:
                self.stream(answer)
        else:
            self.reply(404, {"error": "Not found"})

    def stream(self, answer):
        # Server-Sent Events in chunks, one flushed per token, as pindle-server sends them.
        self.send_response(200)
        self.send_header("Content-Type", "text/event-stream")
        self.send_header("Cache-Control", "no-cache")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        events = [{"choices": [{"delta": {"content": token}}]} for token in answer.tokens]
        for index, event in enumerate(events + ["[DONE]"]):
            if index == answer.held:
                answer.release.wait()
            data = f"data: {event if event == '[DONE]' else json.dumps(event)}\n\n".encode()
            self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))
            self.wfile.flush()
        self.wfile.write(b"0\r\n\r\n")


WATCHER_XML = """<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
  <signal name="StatusNotifierHostUnregistered"/>
</interface></node>"""


class TrayWatcher:
    """A StatusNotifierWatcher with a host, as a desktop panel runs one: Pindle then keeps its menu
    in the tray. `host_gone()` is the panel quitting, after which the overlay's header has the
    menu. Answers from the default GLib main context, which the suite keeps turning."""

    NAME = "org.kde.StatusNotifierWatcher"

    def __init__(self):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        self.items, self.host = [], True
        interface = Gio.DBusNodeInfo.new_for_xml(WATCHER_XML).interfaces[0]
        self.bus.register_object("/StatusNotifierWatcher", interface, self._call, self._property,
                                 None)
        # Owned before this returns: Pindle looks for a tray host once, as it starts.
        owned = self.bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus", "RequestName",
                                   GLib.Variant("(su)", (self.NAME, 4)), None,
                                   Gio.DBusCallFlags.NONE, -1, None).unpack()[0]
        if owned != 1:  # the primary owner
            raise RuntimeError(f"{self.NAME} has an owner already")

    def _call(self, bus, sender, path, interface, method, args, invocation):
        if method == "RegisterStatusNotifierItem":
            self.items.append(args.unpack()[0])
        invocation.return_value(None)

    def _property(self, bus, sender, path, interface, name):
        return {"RegisteredStatusNotifierItems": GLib.Variant("as", self.items),
                "IsStatusNotifierHostRegistered": GLib.Variant("b", self.host),
                "ProtocolVersion": GLib.Variant("i", 0)}[name]

    def host_gone(self):
        self.host = False
        self.bus.emit_signal(None, "/StatusNotifierWatcher", self.NAME,
                             "StatusNotifierHostUnregistered", None)
