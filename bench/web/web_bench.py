#!/usr/bin/python3
"""The web page's figures against the simulator on loopback, in headless Chromium:
first load (time and bytes), tap -> controller command, controller change -> page, and the
hub's CPU with five idle pages open.

    bench/web/web_bench.py [SECONDS]    (CPU sampling time, default 30)"""
import os
import statistics
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "web"))
from webrig import Rig, browser, wait_until  # noqa: E402

build = os.environ.get("KONF_BUILD_DIR", os.path.join(here, "..", "..", "build"))
seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 30.0


def mono_us():
    return time.clock_gettime(time.CLOCK_MONOTONIC) * 1e6


def sim_event_us(rig, suffix, after_us):
    for line in rig.sim_log_lines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[2].endswith(suffix) and int(parts[0]) >= after_us:
            return int(parts[0])
    return None


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def cpu_percent(pid, span):
    hz = os.sysconf("SC_CLK_TCK")
    t0, c0 = time.monotonic(), cpu_ticks(pid)
    time.sleep(span)
    return 100.0 * (cpu_ticks(pid) - c0) / hz / (time.monotonic() - t0)


def pct(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


rig = Rig(build)
driver = browser(360, 780)
try:
    # First load, nothing cached.
    driver.execute_cdp_cmd("Network.enable", {})
    driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
    loads, sizes = [], []
    for _ in range(10):
        driver.get("about:blank")
        driver.get(rig.url)
        wait_until(lambda: driver.execute_script(
            "return performance.getEntriesByType('navigation')[0].loadEventEnd > 0"), 5, "load")
        loads.append(driver.execute_script(
            "return performance.getEntriesByType('navigation')[0].loadEventEnd"))
        sizes.append(driver.execute_script(
            "return [...performance.getEntriesByType('navigation'), ...performance.getEntriesByType('resource')]"
            ".reduce((s, e) => s + e.transferSize, 0)"))
    print(f"first load: median {statistics.median(loads):.1f} ms, max {max(loads):.1f} ms over {len(loads)}")
    print(f"first load transfer: {max(sizes) / 1024:.1f} KB")

    wait_until(lambda: driver.execute_script(
        "const t = document.getElementById('output-5'); return t && !t.disabled"), 10, "online")

    # Tap -> command written to the controller.
    taps = []
    for i in range(20):
        want = "on" if i % 2 == 0 else "off"
        before = mono_us()
        driver.execute_script("document.getElementById('output-5').click()")
        wait_until(lambda: sim_event_us(rig, f"output 5 {want}", before) is not None, 5, "command")
        taps.append((sim_event_us(rig, f"output 5 {want}", before) - before) / 1000)
        wait_until(lambda: driver.execute_script(
            "return document.getElementById('output-5').getAttribute('aria-pressed')") ==
            ("true" if want == "on" else "false"), 5, "tile state")
        time.sleep(0.1)
    print(f"tap -> command: median {statistics.median(taps):.1f} ms, p95 {pct(taps, 95):.1f} ms")

    # Controller change -> page updated.
    driver.execute_script("""
        window.changes = [];
        new MutationObserver(() => window.changes.push(performance.timeOrigin + performance.now()))
            .observe(document.getElementById('input-7'), {attributes: true, attributeFilter: ['data-on']});""")
    delays = []
    for i in range(20):
        want = "on" if i % 2 == 0 else "off"
        count = len(driver.execute_script("return window.changes"))
        before = time.time() * 1000
        rig.sim_command(f"in 7 {want}")
        wait_until(lambda: len(driver.execute_script("return window.changes")) > count, 5, "page change")
        delays.append(driver.execute_script("return window.changes")[count] - before)
        time.sleep(0.15)
    print(f"change -> page: median {statistics.median(delays):.1f} ms, p95 {pct(delays, 95):.1f} ms")

    # CPU: the hub alone, then with five idle pages.
    driver.get("about:blank")
    time.sleep(2)
    alone = cpu_percent(rig.hub_pid(), seconds)
    for _ in range(5):
        driver.switch_to.new_window("tab")
        driver.get(rig.url)
    time.sleep(3)
    with_pages = cpu_percent(rig.hub_pid(), seconds)
    print(f"hub CPU, no page: {alone:.2f} % of a core")
    print(f"hub CPU, 5 idle pages: {with_pages:.2f} % of a core")
finally:
    driver.quit()
    rig.close()
