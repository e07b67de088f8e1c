#!/usr/bin/python3
"""The web page in a real browser against selvora-hub and selvora-sim: names, a tap, a live
input, the unreachable banner, and how it looks at 360 px and on a desktop."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from webrig import OUTPUT_NAMES, INPUT_NAMES, Rig, browser, set_viewport, wait_until  # noqa: E402

from selenium.webdriver.common.by import By  # noqa: E402

build = os.environ.get("KONF_BUILD_DIR", os.getcwd())
rig = Rig(build)
login_rig = None
driver = None


def js(script, *args):
    return driver.execute_script(script, *args)


def tile(n):
    return driver.find_element(By.ID, f"output-{n}")


def layout_check(width, height, mobile, shot):
    set_viewport(driver, width, height, mobile)
    time.sleep(0.2)
    full = js("return document.documentElement.scrollHeight")
    set_viewport(driver, width, full, mobile)
    time.sleep(0.2)
    overflow = js("return document.documentElement.scrollWidth - document.documentElement.clientWidth")
    assert overflow <= 0, f"horizontal scroll of {overflow} px at {width} px"
    hidden = js("""
        const w = document.documentElement.clientWidth, h = document.documentElement.scrollHeight;
        return [...document.querySelectorAll('.tile')].filter(t => {
            const r = t.getBoundingClientRect();
            return r.width < 40 || r.height < 40 || r.left < 0 || r.right > w || r.bottom > h;
        }).map(t => t.id);""")
    assert not hidden, f"tiles not wholly visible at {width} px: {hidden}"
    driver.save_screenshot(os.path.join(build, shot))


try:
    driver = browser()
    driver.get(rig.url)
    wait_until(lambda: js("return !!document.getElementById('output-16')"), 10, "the tiles")
    assert tile(3).find_element(By.CLASS_NAME, "name").text == OUTPUT_NAMES[2]
    assert tile(16).find_element(By.CLASS_NAME, "name").text == OUTPUT_NAMES[15]
    assert driver.find_element(By.ID, "input-2").find_element(By.CLASS_NAME, "name").text == INPUT_NAMES[1]
    wait_until(lambda: tile(3).is_enabled(), 10, "the controller online")
    js("window.notReloaded = true")

    # A tap switches the simulator's output, and the tile follows.
    assert tile(3).get_attribute("aria-pressed") == "false"
    tile(3).click()
    wait_until(lambda: any(l.endswith("output 3 on") for l in rig.sim_log_lines()), 5,
               "output 3 on in the simulator")
    wait_until(lambda: tile(3).get_attribute("aria-pressed") == "true", 5, "tile 3 pressed")

    # The keyboard alone: focus the tile, Space switches it back.
    js("document.getElementById('output-3').focus()")
    driver.switch_to.active_element.send_keys(" ")
    wait_until(lambda: any(l.endswith("output 3 off") for l in rig.sim_log_lines()), 5,
               "output 3 off by keyboard")

    # An input change shows without a reload.
    rig.sim_command("in 2 on")
    wait_until(lambda: js("return document.getElementById('input-2').dataset.on") == "true", 5,
               "input 2 active on the page")
    assert js("return window.notReloaded === true")

    # The routing view reads the table and offers the backup.
    driver.find_element(By.CSS_SELECTOR, "#routing summary").click()
    wait_until(lambda: driver.find_element(By.ID, "routing-download").is_displayed(), 5,
               "the routing table")

    layout_check(360, 780, True, "web-page-360.png")
    layout_check(1280, 800, False, "web-page-desktop.png")

    # A lost line: the banner shows and the tiles cannot be tapped.
    rig.sim_command("hangup 3000")
    wait_until(lambda: driver.find_element(By.ID, "banner").is_displayed(), 5, "the banner")
    assert not tile(1).is_enabled()
    assert "nieosiągalny" in driver.find_element(By.ID, "banner").text
    wait_until(lambda: tile(1).is_enabled(), 15, "the controller back")

    # With a login: "Wyloguj" ends the session and the login page comes back.
    password_file = os.path.join(rig.dir, "web-password")
    with open(password_file, "w") as f:
        f.write("correct horse\n")
    login_rig = Rig(build, ["--http-password-file", password_file])
    driver.get(login_rig.url)
    driver.find_element(By.ID, "password").send_keys("correct horse")
    driver.find_element(By.CSS_SELECTOR, "form.login button").click()
    wait_until(lambda: js("const b = document.getElementById('logout'); return !!b && !b.hidden"), 10,
               "Wyloguj on the page")
    driver.find_element(By.ID, "logout").click()
    wait_until(lambda: js("return !!document.getElementById('password')"), 10, "the login page")
    print("browser smoke test passed")
except Exception:
    if driver:
        driver.save_screenshot(os.path.join(build, "web-page-failure.png"))
    with open(os.path.join(rig.dir, "hub.log")) as f:
        sys.stderr.write(f.read()[-3000:])
    raise
finally:
    if driver:
        driver.quit()
    if login_rig:
        login_rig.close()
    rig.close()
