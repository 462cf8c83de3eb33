"""A headless Chromium driven through the DevTools protocol over a minimal WebSocket client."""
import base64
import json
import os
import socket
import struct
import subprocess
import tempfile
import time
import urllib.request

CHROMIUM = "/usr/bin/chromium"
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--force-color-profile=srgb", "--hide-scrollbars", "--remote-debugging-port=0"]


class Browser:
    def __init__(self, width=800, height=600):
        self.profile = tempfile.TemporaryDirectory(ignore_cleanup_errors=True)
        self.process = subprocess.Popen(
            [CHROMIUM, *FLAGS, f"--user-data-dir={self.profile.name}", f"--window-size={width},{height}",
             "about:blank"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(self.profile.name, "DevToolsActivePort")
        for _ in range(300):
            if os.path.exists(port_file) and open(port_file).read().count("\n") >= 1:
                break
            time.sleep(0.1)
        port = int(open(port_file).read().split()[0])
        page = next(t for t in json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json"))
                    if t["type"] == "page")
        path = page["webSocketDebuggerUrl"].split(str(port), 1)[1]
        self.sock = socket.create_connection(("127.0.0.1", port))
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        reply = b""
        while b"\r\n\r\n" not in reply:
            reply += self.sock.recv(1)
        self.next_id, self.events = 0, []
        for domain in ("Page", "Runtime", "Log"):
            self.call(domain + ".enable")

    def _read(self, count):
        data = b""
        while len(data) < count:
            piece = self.sock.recv(count - len(data))
            if not piece:
                raise EOFError("browser closed the connection")
            data += piece
        return data

    def _receive(self):
        message = b""
        while True:
            head = self._read(2)
            length = head[1] & 0x7F
            if length == 126:
                length = struct.unpack(">H", self._read(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._read(8))[0]
            message += self._read(length)
            if head[0] & 0x80:
                return json.loads(message)

    def call(self, method, **params):
        self.next_id += 1
        data = json.dumps({"id": self.next_id, "method": method, "params": params}).encode()
        mask = os.urandom(4)
        head = bytes([0x81]) + (bytes([0x80 | len(data)]) if len(data) < 126 else
                                bytes([0x80 | 126]) + struct.pack(">H", len(data)))
        self.sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))
        while True:
            message = self._receive()
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message["result"]
            self.events.append(message)

    def evaluate(self, expression):
        return self.call("Runtime.evaluate", expression=expression, returnByValue=True)["result"].get("value")

    def open(self, url, ready="document.readyState === 'complete'", timeout=20):
        self.call("Page.navigate", url=url)
        return self.wait(ready, timeout)

    def wait(self, condition, timeout=20):
        end = time.time() + timeout
        while time.time() < end:
            if self.evaluate(f"!!({condition})"):
                return True
            time.sleep(0.1)
        return False

    def errors(self):
        """Console errors and exceptions seen so far."""
        found = []
        for event in self.events:
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.exceptionThrown":
                found.append(params["exceptionDetails"].get("text", "exception"))
            elif method == "Runtime.consoleAPICalled" and params.get("type") == "error":
                found.append(" ".join(str(a.get("value")) for a in params.get("args", [])))
            elif method == "Log.entryAdded" and params["entry"]["level"] == "error":
                found.append(params["entry"]["text"] + " " + params["entry"].get("url", ""))
        return found

    def screenshot(self, path):
        time.sleep(0.3)  # the frame after the last change
        with open(path, "wb") as file:
            file.write(base64.b64decode(self.call("Page.captureScreenshot", format="png")["data"]))

    def close(self):
        self.process.terminate()
        self.process.wait()
        self.profile.cleanup()
