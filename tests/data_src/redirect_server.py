# An HTTP server on loopback that answers with redirects, for the script source tests.
#   /doc            the script document
#   /to?URL         302 to URL
#   /chain/N        302 to /chain/N-1; /chain/0 is the document
#   /status/CODE    CODE to /doc (301, 303, 307, 308 ...)
#   /bare           302 without a Location
# Every redirect answer carries a script body of its own, which a client must never run.
import sys
from http.server import BaseHTTPRequestHandler, HTTPServer
from urllib.parse import unquote

DOCUMENT = b'<?xml version="1.0"?>\n<Script>\n  <If lng="0419"/>\n</Script>\n'
REDIRECT_BODY = b'<Script><Msg text="redirect body"/></Script>'


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, code, body, location=None):
        self.send_response(code)
        if location is not None:
            self.send_header("Location", location)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path
        if path == "/doc":
            self.answer(200, DOCUMENT)
        elif path.startswith("/to?"):
            self.answer(302, REDIRECT_BODY, unquote(path[4:]))
        elif path.startswith("/chain/"):
            n = int(path[7:])
            if n == 0:
                self.answer(200, DOCUMENT)
            else:
                self.answer(302, REDIRECT_BODY, "/chain/%d" % (n - 1))
        elif path.startswith("/status/"):
            self.answer(int(path[8:]), REDIRECT_BODY, "/doc")
        elif path == "/bare":
            self.answer(302, REDIRECT_BODY)
        else:
            self.answer(404, b"not found")


HTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
