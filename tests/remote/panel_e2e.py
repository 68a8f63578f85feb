#!/usr/bin/python3
"""The remote panel in a real browser: headless Chromium, driven through its WebDriver, against
relm --simulate --serve 127.0.0.1:0 running offscreen in a copy of the sample layout.

First a page of another site (another loopback port) frames the panel: five frames with a
wrong token, sixteen watching. The browser must show none of them, so no wrong token reaches the
console and no place is taken. Without the token the page shows the map and no controls, and
stays connected on its heartbeats. With it, the page presses 転送, raises X's speed, sees X move
on its map while the console's own traffic log shows X's sections change, and presses 停止.
Closing the page while Y runs stops Y.

Usage: panel_e2e.py RELM LAYOUT_DIR [--screenshots DIR]
  --screenshots DIR  also save the page at desktop and at phone width (390 px) into DIR
Exit status: 0 passed, 1 failed, 77 skipped (Chromium, its driver or Selenium missing).
"""

import http.server
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    print("SKIP: python3-selenium is not installed (scripts/setup installs it)")
    sys.exit(SKIP)


JAPANESE = re.compile("[\u3000-\u30ff\u3400-\u9fff\uff00-\uffef]")


def wait_for(what, condition, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(f"timed out waiting for {what}")


class Relm:
    """relm --simulate --serve on a free loopback port, in its own copy of the layout."""

    def __init__(self, relm, layout, workdir):
        self.log = os.path.join(workdir, "traffic.log")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.process = subprocess.Popen(
            [relm, "--simulate", "--serve", "127.0.0.1:0", "--layout", layout, "--log", self.log],
            stdout=subprocess.PIPE, stderr=open(os.path.join(workdir, "relm.err"), "w"),
            text=True, env=env)
        lines = {}
        for _ in range(2):
            line = self.process.stdout.readline()
            key, _, url = line.strip().partition(": ")
            lines[key] = url
        if "view" not in lines or "control" not in lines:
            raise AssertionError(f"relm printed no panel URLs: {lines}")
        self.view, self.control = lines["view"], lines["control"]

    def log_lines(self):
        with open(self.log, encoding="utf-8") as f:
            return f.read().splitlines()

    def x_sections(self):
        """X's own section in every status frame the console read, in order."""
        return [m.group(1) for line in self.log_lines()
                if (m := re.search(r" RX .* \| status X ([0-9A-F]{2})/", line))]

    def speeds(self, train):
        """The speed the console sent train (X, Y or Z) in every command frame, in order."""
        return [int(m.group(1)) for line in self.log_lines()
                if (m := re.search(r" TX .* \| (?:cmd )?" + train + r" v=(\d+)", line))]

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()


class ForeignSite:
    """Another site on another loopback port, whose page frames the panel."""

    def __init__(self, view, control):
        wrong = re.sub(r"token=[0-9a-f]+", "token=" + "f" * 32, control)
        frames = [wrong] * 5 + [view] * 16
        page = "<!DOCTYPE html><title>elsewhere</title>" + "".join(
            f'<iframe src="{url}" width="200" height="100"></iframe>' for url in frames)
        body = page.encode()

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()


def browser(workdir, width, height, languages="ja"):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    if languages:
        options.add_argument(f"--lang={languages.split(',')[0]}")
        options.add_experimental_option("prefs", {"intl.accept_languages": languages})
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", f"--window-size={width},{height}",
                 f"--user-data-dir={tempfile.mkdtemp(dir=workdir)}"):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)


def shown(driver, css):
    return [e for e in driver.find_elements(By.CSS_SELECTOR, css) if e.is_displayed()]


def set_speed(driver, train, speed):
    slider = driver.find_elements(By.CSS_SELECTOR, ".train .speed")[train]
    driver.execute_script(
        "arguments[0].value = arguments[1];"
        "arguments[0].dispatchEvent(new Event('input'));"
        "arguments[0].dispatchEvent(new Event('change'));", slider, str(speed))


def train_codes(driver, train):
    return driver.find_elements(By.CSS_SELECTOR, ".train .status")[train].text


def run(relm_binary, sample_layout, screenshots):
    workdir = tempfile.mkdtemp(prefix="relm-panel-e2e-")
    layout = os.path.join(workdir, "layout")
    shutil.copytree(sample_layout, layout)
    relm = Relm(relm_binary, layout, workdir)
    foreign = ForeignSite(relm.view, relm.control)
    driver = None
    try:
        driver = browser(workdir, 1200, 800)
        # Another site frames the panel; had the frames loaded, they would have sent their
        # wrong tokens and taken the places within this second.
        driver.get(foreign.url)
        wait_for("the foreign frames", lambda: len(driver.find_elements(By.TAG_NAME, "iframe")) == 21)
        time.sleep(1.5)
        assert not any("wrong token" in line for line in relm.log_lines()), "a framed panel ran"

        # Without the token: the map and the trains, no controls; heartbeats keep it connected.
        driver.get(relm.view)
        wait_for("the map", lambda: len(driver.find_elements(By.CSS_SELECTOR, "#map polygon")) == 32)
        wait_for("the state", lambda: driver.find_element(By.ID, "state").text == "待機中")
        assert driver.find_element(By.ID, "mode").text == "閲覧のみ"
        assert not shown(driver, ".operate"), "controls shown without the token"
        assert all(not b.is_enabled() for b in driver.find_elements(By.CSS_SELECTOR, ".requests button"))
        deadline = time.monotonic() + 4.0
        while time.monotonic() < deadline:
            assert driver.find_element(By.ID, "state").text == "待機中", "the watching page was closed"
            time.sleep(0.1)

        # With the token: 転送, X up to speed 100, X moves, 停止.
        driver.get(relm.control)
        wait_for("operation", lambda: driver.find_element(By.ID, "mode").text == "操作可")
        driver.find_element(By.ID, "transfer").click()
        wait_for("the cycle", lambda: driver.find_element(By.ID, "state").text == "運転中")
        wait_for("X placed", lambda: train_codes(driver, 0) != "")
        start = train_codes(driver, 0)
        set_speed(driver, 0, 100)
        wait_for("X's requested speed", lambda: driver.find_elements(
            By.CSS_SELECTOR, ".requested-value")[0].text == "100")
        wait_for("X moving on the page", lambda: train_codes(driver, 0) != start, timeout=40)
        own = train_codes(driver, 0).split()[1]
        polygon = driver.find_element(By.CSS_SELECTOR, f'#map polygon[data-section="{int(own, 16) & 0x1F}"]')
        assert polygon.get_attribute("fill") == "#ff0000", "X's new section is not red on the map"
        wait_for("X moving in the console", lambda: len(set(relm.x_sections())) > 1)
        assert max(relm.speeds("X")) > 0

        if screenshots:
            set_speed(driver, 1, 60)
            time.sleep(3)
            driver.save_screenshot(os.path.join(screenshots, "panel-desktop.png"))
            driver.set_window_size(390, 1400)
            time.sleep(1)
            driver.save_screenshot(os.path.join(screenshots, "panel-phone.png"))
            driver.set_window_size(1200, 800)
            set_speed(driver, 1, 0)

        driver.find_elements(By.CSS_SELECTOR, ".train .stop")[0].click()
        wait_for("X's slider at stop", lambda: driver.find_elements(
            By.CSS_SELECTOR, ".requested-value")[0].text == "0")
        wait_for("X stopped by the console", lambda: relm.speeds("X")[-1] == 0, timeout=10)

        # A browser that prefers English gets the page in English from the Japanese console:
        # nothing it shows is Japanese.
        english = browser(workdir, 1200, 800, languages="en-US,en")
        try:
            english.get(relm.control)
            wait_for("the English state", lambda: english.find_element(By.ID, "state").text == "Running")
            wait_for("X placed, in English", lambda: train_codes(english, 0) != "")
            assert english.find_element(By.ID, "mode").text == "Operating"
            text = english.execute_script(
                "return document.title + '\\n' + document.body.innerText + '\\n' +"
                " [...document.querySelectorAll('[title],[aria-label]')].map("
                "e => (e.title || '') + ' ' + (e.getAttribute('aria-label') || '')).join(' ')")
            assert not JAPANESE.search(text), f"Japanese on the English page: {JAPANESE.findall(text)}"
            assert "Section map" in text and "Train X" in text, text
            if screenshots:
                english.save_screenshot(os.path.join(screenshots, "panel-en.png"))
        finally:
            english.quit()

        # Y set running from the page; the page goes away; the console stops Y.
        set_speed(driver, 1, 80)
        wait_for("Y running", lambda: relm.speeds("Y")[-1] > 0, timeout=10)
        driver.quit()
        driver = None
        wait_for("the note", lambda: any("train Y stopped" in line for line in relm.log_lines()),
                 timeout=10)
        wait_for("Y stopped by the console", lambda: relm.speeds("Y")[-1] == 0, timeout=10)
        print("panel e2e: passed")
        return 0
    finally:
        if driver is not None:
            driver.quit()
        foreign.stop()
        relm.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main():
    args = sys.argv[1:]
    screenshots = None
    if "--screenshots" in args:
        i = args.index("--screenshots")
        screenshots = os.path.abspath(args[i + 1])
        del args[i:i + 2]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    for path, package in ((CHROMIUM, "chromium"), (CHROMEDRIVER, "chromium-driver")):
        if not os.access(path, os.X_OK):
            print(f"SKIP: {path} is missing (Debian package {package}; scripts/setup installs it)")
            return SKIP
    try:
        return run(args[0], args[1], screenshots)
    except AssertionError as e:
        print(f"panel e2e: FAILED: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
