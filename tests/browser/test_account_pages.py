#!/usr/bin/python3
"""The sign-up and account pages in Chromium, headless, against a real pindle-server.

A visitor signs up, signs in (a wrong password first), sees the balance and the usage that two
answers of a fake model provider cost, changes the password (a wrong current one first), signs out
everywhere, and deletes the account. Sessions the desktop client holds end as the pages promise.
Every page is saved as a PNG (PINDLE_TEST_ARTIFACTS, else browser-pages/ in the working
directory), and a page whose style sheet the policy refused fails the test.

Needs PINDLE_SERVER (the pindle-server to run), Debian's chromium, chromium-driver and
python3-selenium. Runs offline, as root or not.
"""

import base64
import ctypes
import datetime
import http.client
import http.server
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support import expected_conditions as seen
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:  # reported by the test, which skips or, in CI, fails
    webdriver = None

SKIPPED = 77  # ctest's SKIP_RETURN_CODE for this suite
WAIT = 60  # seconds for a page: a busy machine and sanitizer builds are slow
EMAIL = "ada@example.org"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class FakeProvider(http.server.ThreadingHTTPServer):
    """An OpenAI-compatible provider whose answers report `tokens` used in turn. While `holding`
    is set, a question that arrives sets `arrived` and is answered once `release` is set."""

    tokens = [1234, 766]

    def __init__(self):
        self.answered = 0
        self.holding = threading.Event()
        self.arrived = threading.Event()
        self.release = threading.Event()
        super().__init__(("127.0.0.1", 0), FakeProvider.Handler)

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            self.rfile.read(int(self.headers.get("Content-Length", 0)))
            provider = self.server
            if provider.holding.is_set():
                provider.arrived.set()
                provider.release.wait(WAIT)
            used = provider.tokens[provider.answered % len(provider.tokens)]
            provider.answered += 1
            body = json.dumps({
                "id": "chatcmpl-1", "object": "chat.completion", "model": "fake",
                "choices": [{"index": 0, "finish_reason": "stop",
                             "message": {"role": "assistant", "content": "Hello."}}],
                "usage": {"prompt_tokens": used - 2, "completion_tokens": 2,
                          "total_tokens": used},
            }).encode()
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass


def die_with_parent():
    # A suite that crashes takes its server with it (PR_SET_PDEATHSIG, SIGKILL).
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)


class AccountPagesTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="pindle-browser-")
        self.addCleanup(shutil.rmtree, self.scratch, True)
        self.artifacts = os.environ.get("PINDLE_TEST_ARTIFACTS") or os.path.join(
            os.getcwd(), "browser-pages")
        os.makedirs(self.artifacts, exist_ok=True)
        self.addCleanup(self.keep_logs)
        self.start_provider()
        self.start_server()
        self.start_browser()

    def start_provider(self):
        self.provider = FakeProvider()
        thread = threading.Thread(target=self.provider.serve_forever, daemon=True)
        thread.start()
        self.addCleanup(self.provider.server_close)
        self.addCleanup(self.provider.shutdown)

    def start_server(self):
        port = free_port()
        self.url = "http://127.0.0.1:%d" % port
        config = os.path.join(self.scratch, "server.json")
        with open(config, "w") as file:
            json.dump({
                "port": port,
                "database": os.path.join(self.scratch, "pindle.db"),
                "journal_directory": os.path.join(self.scratch, "journal"),
                "worker_threads": 2,
                "provider_url": "http://127.0.0.1:%d/v1" % self.provider.server_port,
                "provider_api_key": "sk-test",
                "signup_balance": 50000,
            }, file)
        environment = {name: value for name, value in os.environ.items()
                       if name not in ("PINDLE_PORT", "PINDLE_DATABASE", "PINDLE_PROVIDER_URL",
                                       "PINDLE_PROVIDER_API_KEY", "PINDLE_LISTEN_ADDRESS")}
        self.server_log = open(os.path.join(self.scratch, "server.log"), "w+b")
        self.server = subprocess.Popen(
            [os.environ["PINDLE_SERVER"], "--config", config, "serve"], env=environment,
            stdout=self.server_log, stderr=subprocess.STDOUT, preexec_fn=die_with_parent)
        self.addCleanup(self.stop_server)
        for _ in range(400):
            if self.server.poll() is not None:
                break
            try:
                if self.call("GET", "/healthz")[0] == 200:
                    return
            except (OSError, http.client.HTTPException, ValueError):
                pass  # not listening yet, or starting
            time.sleep(0.05)
        self.fail("pindle-server did not start:\n" + self.log())

    def stop_server(self):
        # A clean stop, so that a crash or a sanitizer report in the server fails the test.
        if self.server.poll() is None:
            self.server.terminate()
            try:
                self.server.wait(30)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
        status = self.server.returncode
        self.server_log.close()
        if status != 0:
            raise AssertionError("pindle-server ended with %s" % status)

    def keep_logs(self):
        """The server's and the driver's logs go beside the pictures, for a failure's sake."""
        for name in ("server.log", "driver.log"):
            if os.path.exists(os.path.join(self.scratch, name)):
                shutil.copy(os.path.join(self.scratch, name), self.artifacts)

    def log(self):
        self.server_log.flush()
        with open(self.server_log.name, "rb") as file:
            return file.read().decode(errors="replace")

    def start_browser(self):
        options = webdriver.ChromeOptions()
        options.binary_location = os.environ.get("PINDLE_CHROMIUM", "/usr/bin/chromium")
        # The sandbox needs namespaces that containers often lack, and the browser opens only
        # the server's own pages here.
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-proxy-server",
                     "--disable-dev-shm-usage", "--no-first-run", "--disable-sync",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-extensions", "--lang=en-US", "--force-device-scale-factor=1",
                     "--window-size=1024,900",
                     "--user-data-dir=" + os.path.join(self.scratch, "profile")):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        home = os.path.join(self.scratch, "home")
        os.makedirs(home)
        environment = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, XDG_CACHE_HOME=home)
        service = Service(os.environ.get("PINDLE_CHROMEDRIVER", "/usr/bin/chromedriver"),
                          env=environment, log_path=os.path.join(self.scratch, "driver.log"))
        self.browser = webdriver.Chrome(service=service, options=options)
        self.addCleanup(self.browser.quit)

    # The API, as the desktop client uses it.
    def call(self, method, path, body=None, token=None):
        request = urllib.request.Request(self.url + path, method=method)
        if body is not None:
            request.data = json.dumps(body).encode()
            request.add_header("Content-Type", "application/json")
        if token:
            request.add_header("Authorization", "Bearer " + token)
        try:
            with urllib.request.urlopen(request, timeout=WAIT) as answer:
                return answer.status, json.loads(answer.read() or b"{}")
        except urllib.error.HTTPError as error:
            return error.code, json.loads(error.read() or b"{}")

    def ask(self, token):
        return self.call("POST", "/api/chat", {
            "model": "gpt-4.1", "category": "general", "temperature": 0.7, "max_tokens": 4000,
            "stream": False, "messages": [{"role": "user", "content": "Hello?"}]}, token)

    def api_session(self, password):
        status, answer = self.call("POST", "/api/auth/login",
                                   {"email": EMAIL, "password": password})
        return answer.get("token") if status == 200 else None

    def signed_in(self, token):
        return self.call("GET", "/api/auth/me", token=token)[0] == 200

    # The browser.
    def element(self, css):
        return WebDriverWait(self.browser, WAIT).until(
            seen.presence_of_element_located((By.CSS_SELECTOR, css)))

    def text(self, css):
        return self.element(css).text

    def submit(self, form, **fields):
        """Fills in the named fields of the form posting to `form` and sends it."""
        sent = self.element('form[action^="%s"]' % form)
        for name, value in fields.items():
            field = sent.find_element(By.NAME, name)
            field.clear()
            field.send_keys(value)
        # The page the form leaves is marked; the answer is a new page without the mark. (Asking
        # the old form whether it is stale can fail outright while the new page comes in.)
        self.browser.execute_script("window.pindleFormSent = true")
        sent.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
        WebDriverWait(self.browser, WAIT, ignored_exceptions=(WebDriverException,)).until(
            lambda browser: browser.execute_script("return !window.pindleFormSent"))

    def snapshot(self, name):
        """Saves the whole page as name.png; fails on anything the page's policy refused."""
        self.assertLessEqual(
            self.browser.execute_script("return document.documentElement.scrollWidth"),
            self.browser.execute_script("return window.innerWidth"),
            name + " is wider than the window")
        size = self.browser.execute_cdp_cmd("Page.getLayoutMetrics", {})["cssContentSize"]
        shot = self.browser.execute_cdp_cmd("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": 0, "y": 0, "width": size["width"], "height": size["height"],
                     "scale": 1}})
        with open(os.path.join(self.artifacts, name + ".png"), "wb") as file:
            file.write(base64.b64decode(shot["data"]))
        refused = [entry["message"] for entry in self.browser.get_log("browser")
                   if "Content Security Policy" in entry["message"]]
        self.assertEqual(refused, [], name)
        # The style sheet applied: the card is white on the grey page.
        self.assertEqual(self.browser.execute_script(
            "return getComputedStyle(document.querySelector('main')).backgroundColor"),
            "rgb(255, 255, 255)", name + " is unstyled")

    def test_an_account_from_sign_up_to_deletion(self):
        browser = self.browser
        browser.get(self.url + "/signup")
        self.snapshot("01-signup")
        self.submit("/signup", name="Ada Lovelace", email=EMAIL, password="analytical engine")
        self.assertIn("Your account %s is ready" % EMAIL, self.text(".done"))
        self.snapshot("02-signup-done")
        browser.find_element(By.LINK_TEXT, "Go to your account").click()
        self.assertEqual(self.text("h1"), "Sign in to your account")
        self.snapshot("03-signin")

        # Two answers, 2,000 tokens in all, for the usage table; and a client's session.
        token = self.api_session("analytical engine")
        self.assertTrue(token)
        days = {datetime.datetime.now(datetime.timezone.utc).date().isoformat()}
        for _ in range(2):
            status, answer = self.ask(token)
            self.assertEqual(status, 200, answer)
        days.add(datetime.datetime.now(datetime.timezone.utc).date().isoformat())

        self.submit("/account/signin", email=EMAIL, password="wrong password")
        self.assertEqual(self.text(".error"), "Invalid e-mail or password.")
        self.assertEqual(self.element("#email").get_attribute("value"), EMAIL)
        self.snapshot("04-signin-refused")
        self.submit("/account/signin", password="analytical engine")
        self.assertEqual(self.text("h1"), "Your Pindle account")
        facts = [item.text for item in browser.find_elements(By.CSS_SELECTOR, "dd")]
        self.assertEqual(facts, ["Ada Lovelace", EMAIL, "Active", "48,000 tokens"])
        rows = [[cell.text for cell in row.find_elements(By.TAG_NAME, "td")[:2]]
                for row in browser.find_elements(By.CSS_SELECTOR, "tbody tr")]
        self.assertEqual(len(rows), 1)
        self.assertIn(rows[0][0], days)
        self.assertEqual(rows[0][1], "2,000")
        cookie = browser.get_cookie("pindle-session")
        self.assertEqual((cookie["httpOnly"], cookie["sameSite"], cookie["path"]),
                         (True, "Strict", "/"))
        self.snapshot("05-account")
        browser.set_window_size(390, 900)  # a phone
        self.snapshot("05-account-narrow")
        browser.set_window_size(1024, 900)

        self.submit("/account/password", current="not my password", new="difference engine",
                    again="difference engine")
        self.assertIn("The current password is not right.", self.text(".error"))
        self.assertTrue(self.signed_in(token))
        self.snapshot("06-password-refused")
        self.submit("/account/password", current="analytical engine", new="difference engine",
                    again="difference engine")
        self.assertIn("Your password is changed.", self.text(".done"))
        self.snapshot("07-password-changed")
        # The client's session ended with the old password; the browser's stays.
        self.assertFalse(self.signed_in(token))
        self.assertIsNone(self.api_session("analytical engine"))
        token = self.api_session("difference engine")
        self.assertTrue(self.signed_in(token))
        browser.get(self.url + "/account")
        self.assertEqual(self.text("h1"), "Your Pindle account")

        self.submit("/account/signout-everywhere")
        self.assertIn("You are signed out everywhere", self.text(".done"))
        self.assertFalse(self.signed_in(token))
        self.assertIsNone(browser.get_cookie("pindle-session"))
        self.snapshot("08-signed-out-everywhere")

        self.submit("/account/signin", email=EMAIL, password="difference engine")
        self.submit("/account/delete", confirm="someone@example.org")
        self.assertIn("type its e-mail address", self.text(".error"))
        # Scrolled to, far down the page.
        WebDriverWait(browser, WAIT).until(lambda _: browser.execute_script(
            "const box = document.querySelector('.error').getBoundingClientRect();"
            "return box.top >= 0 && box.bottom <= window.innerHeight"))
        self.assertEqual(self.text("h1"), "Your Pindle account")
        self.snapshot("09-delete-refused")

        # Not while an answer is being written: its tokens are settled first.
        self.provider.holding.set()
        answers = []
        question = threading.Thread(
            target=lambda: answers.append(self.ask(self.api_session("difference engine"))))
        question.start()
        self.assertTrue(self.provider.arrived.wait(WAIT))
        self.submit("/account/delete", confirm=EMAIL)
        self.assertIn("still writing an answer", self.text(".error"))
        self.snapshot("10-delete-while-answering")
        self.provider.holding.clear()
        self.provider.release.set()
        question.join(WAIT)
        self.assertEqual([status for status, _ in answers], [200])

        self.submit("/account/delete", confirm=EMAIL.upper())
        self.assertEqual(self.text("h1"), "Account deleted")
        self.snapshot("11-deleted")
        self.assertIsNone(self.api_session("difference engine"))
        browser.get(self.url + "/account")
        self.submit("/account/signin", email=EMAIL, password="difference engine")
        self.assertEqual(self.text(".error"), "Invalid e-mail or password.")
        self.snapshot("12-signin-after-deletion")


def main():
    missing = [what for what, there in (
        ("python3-selenium", webdriver is not None),
        ("chromium", os.path.exists(os.environ.get("PINDLE_CHROMIUM", "/usr/bin/chromium"))),
        ("chromium-driver",
         os.path.exists(os.environ.get("PINDLE_CHROMEDRIVER", "/usr/bin/chromedriver"))),
        ("PINDLE_SERVER", bool(os.environ.get("PINDLE_SERVER"))))
        if not there]
    if missing:
        print("tst_browser needs " + ", ".join(missing) + " (scripts/install-deps.sh)",
              file=sys.stderr)
        # CI must not go green without running it.
        sys.exit(1 if os.environ.get("CI") else SKIPPED)
    # Everything here is on loopback: no proxy the environment names may stand between the test,
    # the driver and the server (Selenium and urllib both honour them).
    for name in ("http_proxy", "https_proxy", "all_proxy"):
        os.environ.pop(name, None)
        os.environ.pop(name.upper(), None)
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
