#!/usr/bin/python3
# The web console in a real browser: quilo1 with its virtual printer, the page
# in headless Chromium, read-only until the login link from quilo1-console is
# opened, then " Esegui Test" clicked, the receipt on the paper and the job in
# the list without a reload. Usage: browser_test.py QUILO1 [PNG]; the page
# before login goes to PNG with "-readonly" before its extension.
import os
import socket
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait(what, seconds=15):
    end = time.time() + seconds
    while time.time() < end:
        if what():
            return True
        time.sleep(0.1)
    return False


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("cp1252")
    except OSError:
        return ""


def main():
    quilo1, png = sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None
    work = tempfile.mkdtemp(prefix="quilo1-console-")
    prog, data = os.path.join(work, "prog"), os.path.join(work, "data")
    os.makedirs(prog)
    os.makedirs(data)
    port = free_port()
    with open(os.path.join(prog, "QLCHKCOM.TXT"), "wb") as f:
        f.write(b"1000\r\n")
    with open(os.path.join(prog, "QLCONSOLE.TXT"), "wb") as f:
        f.write(b"1\r\n%d\r\n" % port)
    log = open(os.path.join(work, "quilo1.log"), "wb")
    daemon = subprocess.Popen([quilo1, "--program-dir", prog, "--data-dir", data, "--virtual-printer"],
                              stdout=log, stderr=subprocess.STDOUT)
    browser = None
    try:
        assert wait(lambda: "FW: " in read(os.path.join(data, "SR_MATR.001"))), read(os.path.join(work, "quilo1.log"))
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--window-size=760,700", "--force-device-scale-factor=2", "--user-data-dir=" + os.path.join(work, "chromium")]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        browser.get("http://127.0.0.1:%d/" % port)
        until = WebDriverWait(browser, 15, ignored_exceptions=(StaleElementReferenceException,)).until
        # The page redraws its rows at every status event: read them in one go.
        ports = "return [...document.querySelectorAll('#ports tr td:first-child')].map(td => td.textContent.trim())"
        until(lambda b: b.execute_script(ports) == ["COM 1", "COM 2", "COM 3", "COM 4"])
        until(lambda b: b.find_elements(By.CSS_SELECTOR, "#ports tr:nth-child(2) .led.on"))
        # Without a session: the state, no action, and how to log in.
        assert browser.find_element(By.ID, "login").is_displayed()
        assert "quilo1-console" in browser.find_element(By.ID, "login").text
        for button in ("test", "annullo", "settimer"):
            assert not browser.find_element(By.ID, button).is_displayed(), button
        offered = browser.execute_script(
            "return [...document.querySelectorAll('#ports input, input[name=det]')].filter(i => !i.disabled).length")
        assert offered == 0, "%d boxes can be changed before login" % offered
        if png:
            browser.save_screenshot(png.replace(".png", "-readonly.png"))
        tool = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(quilo1))),
                            "tools", "quilo1-console", "quilo1-console")
        link = subprocess.run([tool, "--program-dir", prog], check=True, capture_output=True,
                              text=True).stdout.strip()
        browser.get(link)
        until(lambda b: b.current_url == "http://127.0.0.1:%d/" % port)
        assert browser.execute_script("return document.cookie") == "", "the session cookie is readable by scripts"
        until(lambda b: b.execute_script(ports) == ["COM 1", "COM 2", "COM 3", "COM 4"])
        assert not browser.find_element(By.ID, "login").is_displayed()
        until(lambda b: b.find_element(By.ID, "test").is_enabled())
        jobs_before = len(browser.find_elements(By.CSS_SELECTOR, "#jobs tr"))
        browser.execute_script("document.getElementById('test').click()")
        paper = os.path.join(data, "virtual-ecr-paper.txt")
        assert wait(lambda: "ARTICOLO 1" in read(paper)), read(paper)
        until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#jobs tr")) == jobs_before + 1)
        row = browser.execute_script("return document.querySelectorAll('#jobs tr')[1].innerText")
        assert "COM 1" in row and "TUTTO OK" in row, row
        errors = [e for e in browser.get_log("browser") if e["level"] == "SEVERE"]
        assert not errors, errors
        if png:
            browser.save_screenshot(png)
        # A session the program no longer knows (a restart): the action is refused
        # and the page turns read-only with how to log in.
        browser.delete_all_cookies()
        browser.execute_script("document.getElementById('settimer').click()")
        until(lambda b: b.find_element(By.ID, "login").is_displayed())
        assert not browser.find_element(By.ID, "test").is_displayed()
        print("browser test: read-only before login, ports shown, test receipt printed after login, job listed: " +
              row.replace("\n", " "))
    finally:
        if browser:
            browser.quit()
        daemon.terminate()
        daemon.wait(10)
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
