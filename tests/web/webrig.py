"""The simulator, selvora-hub with its web page on a free loopback port, and headless Chromium.

Shared by the browser test and the web benchmark."""
import os
import shutil
import socket
import subprocess
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

INPUT_NAMES = [f"Wejście {n}" for n in range(1, 17)]
OUTPUT_NAMES = [f"Wyjście {n}" for n in range(1, 17)]
INPUT_NAMES[1] = "Czujnik ruchu w garażu"
OUTPUT_NAMES[2] = "Światło w kuchni"
OUTPUT_NAMES[15] = "Brama wjazdowa przy ulicy Żółkiewskiego"


PORT_ATTEMPTS = 5


def free_port():
    """A loopback port that nothing listens on right now. Someone else may take it before our
    server binds it: servers started on it are checked and started again on a new one."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(check, timeout, what):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if check():
            return
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


class Rig:
    def __init__(self, build, extra_hub_args=()):
        self.dir = tempfile.mkdtemp(prefix="konf-web-")
        self.link = os.path.join(self.dir, "ttySIM")
        self.sim_log = os.path.join(self.dir, "sim.log")
        names = os.path.join(self.dir, "config.ini")
        lines = ["", self.link, ""] + INPUT_NAMES + ["", ""] + OUTPUT_NAMES
        with open(names, "w", encoding="utf-8") as f:
            f.write("\r\n".join(lines) + "\r\n")
        self.sim = subprocess.Popen(
            [os.path.join(build, "selvora-sim"), "--link", self.link, "--log", self.sim_log],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.sim.stdout.readline()   # the link exists once its line is printed
        self.hub_log_path = os.path.join(self.dir, "hub.log")
        self.hub_log = open(self.hub_log_path, "w")
        self.hub = None
        try:
            self._start_hub(build, names, extra_hub_args)
        except BaseException:
            self.close()
            raise
        self.url = f"http://127.0.0.1:{self.port}/"

    def _start_hub(self, build, names, extra_hub_args):
        for attempt in range(1, PORT_ATTEMPTS + 1):
            self.port = free_port()
            self.hub = subprocess.Popen(
                [os.path.join(build, "selvora-hub"), "--device", self.link, "--names", names,
                 "--http", f"127.0.0.1:{self.port}", *extra_hub_args],
                stdout=self.hub_log, stderr=subprocess.STDOUT)
            # The hub says so once its own socket listens: a connection alone could reach
            # another program that took the port first.
            try:
                wait_until(lambda: self.hub.poll() is not None or self._hub_says("web page on http"),
                           10, "the hub's web page")
            except AssertionError as e:
                raise AssertionError(f"{e}; the hub's log:\n{self._hub_output()}") from None
            if self._hub_says("web page on http"):
                break
            if not self._hub_says("in use") or attempt == PORT_ATTEMPTS:
                raise AssertionError(f"selvora-hub ended with status {self.hub.returncode}:\n"
                                     + self._hub_output())
        wait_until(self._accepting, 10, "the hub's web page")

    def _hub_output(self):
        with open(self.hub_log_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def _hub_says(self, text):
        return text in self._hub_output()

    def _accepting(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), 0.2).close()
            return True
        except OSError:
            return False

    def sim_command(self, line):
        self.sim.stdin.write(line + "\n")
        self.sim.stdin.flush()

    def sim_log_lines(self):
        with open(self.sim_log, encoding="utf-8", errors="replace") as f:
            return f.read().splitlines()

    def hub_pid(self):
        return self.hub.pid

    def close(self):
        for p in (self.hub, self.sim):
            if p is not None and p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
        self.hub_log.close()
        shutil.rmtree(self.dir, ignore_errors=True)


class Browser(webdriver.Chrome):
    """Headless Chromium with a profile folder of its own, so that no two runs share one; the
    folder goes with quit()."""

    def __init__(self, width, height):
        self.profile = tempfile.mkdtemp(prefix="konf-chromium-")
        driver_log = os.path.join(self.profile, "chromedriver.log")
        options = webdriver.ChromeOptions()
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                    "--hide-scrollbars", f"--window-size={width},{height}",
                    f"--user-data-dir={os.path.join(self.profile, 'data')}"):
            options.add_argument(arg)
        options.binary_location = "/usr/bin/chromium"
        service = Service("/usr/bin/chromedriver", service_args=[f"--log-path={driver_log}"])
        try:
            super().__init__(service=service, options=options)
        except Exception as e:
            try:
                with open(driver_log, encoding="utf-8", errors="replace") as f:
                    log = f.read()[-3000:]
            except OSError:
                log = "(chromedriver left no log)"
            shutil.rmtree(self.profile, ignore_errors=True)
            raise AssertionError(f"Chromium did not start: {e}\nchromedriver's log:\n{log}") from e

    def quit(self):
        try:
            super().quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)


def browser(width=360, height=800):
    return Browser(width, height)


def set_viewport(driver, width, height, mobile):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": height, "deviceScaleFactor": 1,
                            "mobile": mobile})
