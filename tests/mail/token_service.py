#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""An OAuth 2.0 authorization server for the mail tests, on loopback, in
memory. Dovecot asks its introspection endpoint whether a bearer token is
good; the tests obtain tokens from it the ways a mail client does.

    token_service.py PORT_FILE USER...

Listens on a free loopback port, writes the port to PORT_FILE once it takes
connections, and serves until it is ended. USER names the mailboxes that
may sign in (full addresses). Every request is a form POST (RFC 6749) but
/authorize (GET); every answer is JSON.

  /token                 grants: authorization_code (PKCE S256),
                         refresh_token, the device code (RFC 8628), and
                         urn:tessaly:test:direct (username, expires_in):
                         tokens at once, for tests that need no sign-in
  /device_authorization  device_code, user_code, verification_uri, interval
  /authorize             code flow: the user signs in as login_hint at
                         once (deny=1: refuses, access_denied); redirects
                         to redirect_uri with code and state
  /revoke                RFC 7009: an access or refresh token (a refresh
                         token takes its access tokens with it)
  /introspect            RFC 7662: active, username, email, exp, scope
  /test/approve          plays the user of the device flow: user_code,
                         username, and deny=1 to refuse, expire=1 to let
                         the code run out instead, or slow=1 to answer the
                         next poll slow_down (and refuse one that comes
                         before the grown interval)
"""
import base64
import hashlib
import json
import os
import secrets
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

# Client ids, and the secret each must send to /token (None: a public client).
CLIENTS = {"tessaly-desktop": None, "tessaly-installed": "installed-secret"}
ACCESS_SECONDS = 3600
DEVICE_SECONDS = 600
DEVICE_GRANT = "urn:ietf:params:oauth:grant-type:device_code"
DIRECT_GRANT = "urn:tessaly:test:direct"
SCOPE = "mail"


class Store:
    """Every token, code and device request, behind one lock."""

    def __init__(self, users):
        self.users = set(users)
        self.lock = threading.Lock()
        self.access = {}  # token -> {user, exp, scope, refresh}
        self.refresh = {}  # token -> {user, scope, client}
        self.codes = {}  # code -> {user, client, redirect, challenge, scope}
        self.devices = {}  # device_code -> {user_code, client, exp, state, user, scope}

    def issue(self, user, client, scope, expires_in=ACCESS_SECONDS, refresh=None):
        """A new access token, with a refresh token unless one is renewed."""
        refresh = refresh or secrets.token_urlsafe(32)
        self.refresh.setdefault(refresh, {"user": user, "scope": scope, "client": client})
        access = secrets.token_urlsafe(32)
        self.access[access] = {"user": user, "exp": int(time.time()) + expires_in, "scope": scope, "refresh": refresh}
        return {"access_token": access, "token_type": "Bearer", "expires_in": expires_in,
                "refresh_token": refresh, "scope": scope}


def error(code, description=""):
    body = {"error": code}
    if description:
        body["error_description"] = description
    return (401 if code == "invalid_client" else 400), body


def s256(verifier):
    digest = hashlib.sha256(verifier.encode()).digest()
    return base64.urlsafe_b64encode(digest).rstrip(b"=").decode()


def token(store, form):
    grant = form.get("grant_type", "")
    client = form.get("client_id", "")
    if client not in CLIENTS or form.get("client_secret") != CLIENTS[client]:
        return error("invalid_client", "unknown client or wrong secret")
    if grant == DIRECT_GRANT:
        user = form.get("username", "")
        if user not in store.users:
            return error("invalid_grant", "unknown user")
        return 200, store.issue(user, client, SCOPE, int(form.get("expires_in", ACCESS_SECONDS)))
    if grant == "refresh_token":
        held = store.refresh.get(form.get("refresh_token", ""))
        if not held or held["client"] != client:
            return error("invalid_grant", "refresh token unknown or revoked")
        return 200, store.issue(held["user"], client, held["scope"], refresh=form["refresh_token"])
    if grant == "authorization_code":
        code = store.codes.pop(form.get("code", ""), None)
        if not code or code["client"] != client or code["redirect"] != form.get("redirect_uri", ""):
            return error("invalid_grant", "code unknown, used, or issued for another client")
        if s256(form.get("code_verifier", "")) != code["challenge"]:
            return error("invalid_grant", "PKCE verification failed")
        return 200, store.issue(code["user"], client, code["scope"])
    if grant == DEVICE_GRANT:
        device = store.devices.get(form.get("device_code", ""))
        if not device or device["client"] != client:
            return error("invalid_grant", "device code unknown")
        if device["exp"] <= time.time():
            return error("expired_token")
        if time.time() < device.get("not_before", 0):
            return error("invalid_request", "polled again before the interval grown by slow_down")
        if device.get("slow"):
            # RFC 8628 3.5: the interval grows by 5 seconds from now on.
            device["slow"] = False
            device["not_before"] = time.time() + 1 + 5 - 0.5
            return error("slow_down")
        if device["state"] == "pending":
            return error("authorization_pending")
        if device["state"] == "denied":
            return error("access_denied")
        del store.devices[form["device_code"]]
        return 200, store.issue(device["user"], client, device["scope"])
    return error("unsupported_grant_type", grant)


def device_authorization(store, form):
    client = form.get("client_id", "")
    if client not in CLIENTS:
        return error("invalid_client", "unknown client")
    device_code = secrets.token_urlsafe(32)
    user_code = "-".join(secrets.token_hex(2).upper() for _ in range(2))
    store.devices[device_code] = {"user_code": user_code, "client": client, "exp": time.time() + DEVICE_SECONDS,
                                  "state": "pending", "user": None, "scope": form.get("scope", SCOPE)}
    return 200, {"device_code": device_code, "user_code": user_code, "verification_uri": store.base + "/device",
                 "verification_uri_complete": store.base + "/device?user_code=" + user_code,
                 "expires_in": DEVICE_SECONDS, "interval": 1}


def approve(store, form):
    for device in store.devices.values():
        if device["user_code"] == form.get("user_code") and device["state"] == "pending":
            if form.get("username") not in store.users:
                return error("invalid_request", "unknown user")
            device["state"] = "denied" if form.get("deny") == "1" else "approved"
            device["user"] = form["username"]
            device["slow"] = form.get("slow") == "1"
            if form.get("expire") == "1":
                device["exp"] = time.time()
            return 200, {"state": device["state"]}
    return error("invalid_request", "no pending request with this user code")


def authorize(store, query):
    """The code flow's sign-in page, signed in at once: where it goes next."""
    redirect = query.get("redirect_uri", "")
    if query.get("client_id") not in CLIENTS or not redirect.startswith("http://127.0.0.1:"):
        return None  # never redirect to an address the client did not prove
    answer = {"state": query.get("state", "")}
    if query.get("response_type") != "code":
        answer["error"] = "unsupported_response_type"
    elif query.get("code_challenge_method") != "S256" or not query.get("code_challenge"):
        answer["error"] = "invalid_request"
    elif query.get("login_hint") not in store.users or query.get("deny") == "1":
        answer["error"] = "access_denied"
    else:
        code = secrets.token_urlsafe(24)
        store.codes[code] = {"user": query["login_hint"], "client": query["client_id"], "redirect": redirect,
                             "challenge": query["code_challenge"], "scope": query.get("scope", SCOPE)}
        answer["code"] = code
    return redirect + ("&" if "?" in redirect else "?") + urllib.parse.urlencode(answer)


def revoke(store, form):
    value = form.get("token", "")
    if value in store.refresh:
        del store.refresh[value]
        for access in [a for a, held in store.access.items() if held["refresh"] == value]:
            del store.access[access]
    store.access.pop(value, None)
    return 200, {}


def introspect(store, form):
    held = store.access.get(form.get("token", ""))
    if not held or held["exp"] <= time.time():
        return 200, {"active": False}
    return 200, {"active": True, "username": held["user"], "email": held["user"], "exp": held["exp"],
                 "scope": held["scope"], "token_type": "Bearer"}


ROUTES = {"/token": token, "/device_authorization": device_authorization, "/test/approve": approve,
          "/revoke": revoke, "/introspect": introspect}


class Handler(BaseHTTPRequestHandler):
    server_version = "TessalyTestTokens/1"

    def answer(self, status, body, location=None):
        data = json.dumps(body).encode()
        self.send_response(status)
        if location:
            self.send_header("Location", location)
        self.send_header("Content-Type", "application/json")
        self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode(), keep_blank_values=True))
        route = ROUTES.get(urllib.parse.urlsplit(self.path).path)
        if not route:
            self.answer(404, {"error": "not_found"})
            return
        with self.server.store.lock:
            status, body = route(self.server.store, form)
        self.answer(status, body)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path != "/authorize":
            self.answer(404, {"error": "not_found"})
            return
        with self.server.store.lock:
            location = authorize(self.server.store, dict(urllib.parse.parse_qsl(url.query)))
        if location is None:
            self.answer(400, {"error": "invalid_request", "error_description": "unknown client or redirect"})
        else:
            self.answer(302, {}, location)

    def log_message(self, format, *args):
        sys.stderr.write("token_service: " + format % args + "\n")


def main():
    port_file, users = sys.argv[1], sys.argv[2:]
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.store = Store(users)
    server.store.base = "http://127.0.0.1:%d" % server.server_address[1]
    # Written whole under another name first: a reader never sees half a port.
    with open(port_file + ".new", "w") as out:
        out.write("%d\n" % server.server_address[1])
    os.rename(port_file + ".new", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
