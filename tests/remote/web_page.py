#!/usr/bin/python3
"""Drives the web page of a running Sentorix in Debian's headless chromium.

web_page.py PORT PASSWORD [SCREENSHOT_DIR]: opens https://127.0.0.1:PORT/
with the password sent through the DevTools protocol (Basic
authentication), and checks that the live picture shows, that Arm changes
the state shown, that Record makes a recording that the list shows and
that plays in the page, and that on a phone's 390 x 844 screen and on a
desktop's 1280 x 900 nothing reaches past the right edge. With
SCREENSHOT_DIR it saves web-phone.png and web-phone-recordings.png there.
Prints what it saw; exit code 0 when all held, 1 otherwise. Every wait is
bounded.
"""
import base64
import shutil
import sys
import tempfile

from selenium import webdriver
from selenium.common.exceptions import (ElementClickInterceptedException,
                                        ElementNotInteractableException,
                                        StaleElementReferenceException, TimeoutException)
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

WAIT = 60  # seconds; generous for a loaded machine

port, password = sys.argv[1], sys.argv[2]
shots = sys.argv[3] if len(sys.argv) > 3 else None
failures = []


def check(what, held):
    print(("ok   " if held else "FAIL ") + what, flush=True)
    if not held:
        failures.append(what)
    return held


def wait_for(driver, what, condition):
    try:
        return check(what, bool(WebDriverWait(driver, WAIT, poll_frequency=0.2).until(
            lambda d: condition(d))))
    except TimeoutException:
        return check(what + " (not within %d s)" % WAIT, False)


def press(driver, what, selector):
    """Clicks the element, found anew on each try: the page may rebuild it
    (a refreshed list) or something may lie over it for a moment."""
    def clicked(d):
        d.find_element(By.CSS_SELECTOR, selector).click()
        return True
    try:
        WebDriverWait(driver, WAIT, poll_frequency=0.2, ignored_exceptions=(
            StaleElementReferenceException, ElementClickInterceptedException,
            ElementNotInteractableException)).until(clicked)
    except TimeoutException:
        check("%s can be pressed (not within %d s)" % (what, WAIT), False)


def state(driver):
    return driver.find_element(By.ID, "state").text.strip()


def shows_picture(driver, element_id):
    return driver.execute_script(
        "const i = document.getElementById(arguments[0]);"
        "return i && i.complete !== undefined && i.naturalWidth > 0;", element_id)


OVERFLOW = """
const width = window.innerWidth;
const past = [];
for (const e of document.querySelectorAll('body *')) {
  const r = e.getBoundingClientRect();
  if (r.width > 0 && r.height > 0 && r.right > width + 0.5)
    past.push(e.tagName.toLowerCase() + (e.id ? '#' + e.id : '') +
              (e.className ? '.' + e.className : '') + ' ' + Math.round(r.right));
}
return {scroll: document.documentElement.scrollWidth, width: width, past: past};
"""


def fits_screen(driver, width, height):
    at = "at %d x %d" % (width, height)
    layout = driver.execute_script(OVERFLOW)
    print("%s: scroll width %s, inner width %s" % (at, layout["scroll"], layout["width"]))
    check(at + " the page is no wider than the screen",
          layout["width"] == width and layout["scroll"] <= layout["width"])
    check(at + " nothing reaches past the right edge: " + ", ".join(layout["past"]),
          not layout["past"])


profile = tempfile.mkdtemp(prefix="sentorix-chromium-")
options = webdriver.ChromeOptions()
options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--ignore-certificate-errors", "--user-data-dir=" + profile,
             "--window-size=1280,900"):
    options.add_argument(flag)
driver = webdriver.Chrome(
    service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"), options=options)
try:
    driver.set_page_load_timeout(WAIT)
    token = base64.b64encode(("owner:" + password).encode()).decode()
    driver.execute_cdp_cmd("Network.enable", {})
    driver.execute_cdp_cmd("Network.setExtraHTTPHeaders",
                           {"headers": {"Authorization": "Basic " + token}})
    # A phone's screen: 390 x 844 CSS pixels, its page laid out as a phone
    # lays it out (the viewport meta counts).
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 390, "height": 844, "deviceScaleFactor": 1, "mobile": True})
    driver.get("https://127.0.0.1:%s/" % port)

    wait_for(driver, "the live picture shows", lambda d: shows_picture(d, "live"))
    wait_for(driver, "the state shows OFF", lambda d: state(d) == "OFF")
    press(driver, "Arm", "#arm")
    wait_for(driver, "after Arm the state shows STANDBY", lambda d: state(d) == "STANDBY")
    check("the answer to Arm is shown",
          driver.find_element(By.ID, "reply").text == "The program is now STANDBY.")
    press(driver, "Record", "#record")
    wait_for(driver, "after Record the state shows RECORDING", lambda d: state(d) == "RECORDING")
    wait_for(driver, "the panels show the start time",
             lambda d: d.find_elements(By.CSS_SELECTOR, "#panels dd")[4].text.strip() != "")
    # Some frames into the file, then stopped: the recording is complete.
    wait_for(driver, "the recording is listed while it grows", lambda d: d.execute_script(
        "return document.querySelectorAll('#recordings li').length > 0"))
    driver.execute_script("window.scrollTo(0, 0)")
    if shots:
        driver.save_screenshot(shots + "/web-phone.png")
        print("wrote " + shots + "/web-phone.png")
    press(driver, "Disarm", "#disarm")
    wait_for(driver, "after Disarm the state shows OFF", lambda d: state(d) == "OFF")
    wait_for(driver, "the recording is listed with its thumbnail", lambda d: d.execute_script(
        "const i = document.querySelector('#recordings li img.thumb');"
        "return i !== null && i.naturalWidth > 0;"))
    press(driver, "Play", "#recordings li button.play")
    wait_for(driver, "the recording plays in the page", lambda d: shows_picture(d, "playback"))

    fits_screen(driver, 390, 844)
    if shots:
        driver.execute_script(
            "document.getElementById('recordings-title').scrollIntoView({block: 'start'})")
        driver.save_screenshot(shots + "/web-phone-recordings.png")
        print("wrote " + shots + "/web-phone-recordings.png")
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 1280, "height": 900, "deviceScaleFactor": 1, "mobile": False})
    fits_screen(driver, 1280, 900)
finally:
    driver.quit()
    shutil.rmtree(profile, ignore_errors=True)

if failures:
    print("%d check(s) failed" % len(failures))
sys.exit(1 if failures else 0)
