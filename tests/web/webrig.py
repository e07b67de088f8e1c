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


def free_port():
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
        self.port = free_port()
        self.hub_log = open(os.path.join(self.dir, "hub.log"), "w")
        self.hub = subprocess.Popen(
            [os.path.join(build, "selvora-hub"), "--device", self.link, "--names", names,
             "--http", f"127.0.0.1:{self.port}", *extra_hub_args],
            stdout=self.hub_log, stderr=subprocess.STDOUT)
        wait_until(self._accepting, 10, "the hub's web page")
        self.url = f"http://127.0.0.1:{self.port}/"

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
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
        self.hub_log.close()
        shutil.rmtree(self.dir, ignore_errors=True)


class Browser(webdriver.Chrome):
    """Headless Chromium with a profile of its own, removed when it quits: no cookie or cache
    of an earlier run leaks into this one."""

    def __init__(self, width, height):
        self.profile = tempfile.mkdtemp(prefix="konf-chromium-")
        options = webdriver.ChromeOptions()
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                    "--hide-scrollbars", f"--window-size={width},{height}",
                    f"--user-data-dir={self.profile}"):
            options.add_argument(arg)
        options.binary_location = "/usr/bin/chromium"
        try:
            super().__init__(service=Service("/usr/bin/chromedriver"), options=options)
        except Exception:
            shutil.rmtree(self.profile, ignore_errors=True)
            raise

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
