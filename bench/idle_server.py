#!/usr/bin/env python3
"""A quiet chat server on 127.0.0.1 for the idle comparison (bench/peers.sh).

One client at a time is logged in and put in a channel of ten users, and then
nothing more is said, so whatever the client does afterwards is its own idle
cost. Two protocols:
  --proto chat   the text chat gateway our bot speaks (selector byte, password
                 prompt, event lines)
  --proto irc    plain IRC for the peer clients (registration, JOIN, NAMES;
                 PING is answered)
Usage: idle_server.py --proto chat|irc --port-file FILE [--channel NAME] [--joined-file FILE]
The chosen port is written to FILE once listening; SIGTERM ends the server.
"""
import argparse
import selectors
import signal
import socket
import sys

USERS = ["user%d" % i for i in range(10)]


class ChatClient:
    """The text gateway: everything the bot sends is read; the login is played once."""

    def __init__(self, sock, channel, joined):
        self.sock, self.channel, self.buf, self.logged_in = sock, channel, b"", False
        self.joined = joined

    def start(self):
        pass  # the gateway speaks once the selector byte arrives

    def feed(self, data):
        first = not self.buf
        self.buf += data
        if first:
            self.sock.sendall(b"Username: Password: \r\nPlease enter your name and password.\r\n")
        if not self.logged_in and self.buf.count(b"\n") >= 2:
            self.logged_in = True
            lines = "2010 NAME acct\r\n1007 CHANNEL \"%s\"\r\n" % self.channel
            lines += "1001 USER acct 0010 [CHAT]\r\n"
            lines += "".join("1001 USER %s 0000 [CHAT]\r\n" % u for u in USERS)
            self.sock.sendall(lines.encode())
            self.joined()
        self.buf = self.buf[-4096:]


class IrcClient:
    def __init__(self, sock, channel, joined):
        self.sock, self.channel, self.buf, self.nick = sock, "#" + channel, b"", "peer"
        self.joined = joined

    def start(self):
        pass

    def send(self, line):
        self.sock.sendall((line + "\r\n").encode())

    def feed(self, data):
        self.buf += data
        while b"\n" in self.buf:
            raw, self.buf = self.buf.split(b"\n", 1)
            line = raw.decode("utf-8", "replace").rstrip("\r")
            self.handle(line)

    def handle(self, line):
        if line.startswith(":"):
            line = line.split(" ", 1)[1] if " " in line else ""
        words = line.split(" ")
        cmd = words[0].upper()
        args = words[1:]
        s = ":idle.local"
        if cmd == "NICK" and args:
            self.nick = args[0].lstrip(":")
        elif cmd == "USER":
            n = self.nick
            self.send("%s 001 %s :Welcome to the idle test network %s" % (s, n, n))
            self.send("%s 002 %s :Your host is idle.local" % (s, n))
            self.send("%s 003 %s :This server was created today" % (s, n))
            self.send("%s 004 %s idle.local idle-1 io ntk" % (s, n))
            self.send("%s 005 %s CHANTYPES=# PREFIX=(ov)@+ NETWORK=Idle :are supported" % (s, n))
            self.send("%s 375 %s :- idle.local message of the day" % (s, n))
            self.send("%s 376 %s :End of MOTD" % (s, n))
            self.send(":%s MODE %s :+i" % (n, n))
            self.join()
        elif cmd == "JOIN":
            pass  # already joined at registration
        elif cmd == "PING":
            self.send("%s PONG idle.local %s" % (s, " ".join(args)))
        elif cmd == "MODE" and args and args[0].startswith("#"):
            self.send("%s 324 %s %s +nt" % (s, self.nick, self.channel))
        elif cmd == "WHO" and args:
            self.send("%s 315 %s %s :End of WHO list" % (s, self.nick, args[0]))
        elif cmd == "CAP" and args and args[0].upper() == "LS":
            self.send("%s CAP * LS :" % s)
        elif cmd == "QUIT":
            raise ConnectionError

    def join(self):
        n, c = self.nick, self.channel
        self.send(":%s!u@localhost JOIN %s" % (n, c))
        self.send(":idle.local 332 %s %s :idle channel" % (n, c))
        self.send(":idle.local 353 %s = %s :%s %s" % (n, c, n, " ".join(USERS)))
        self.send(":idle.local 366 %s %s :End of /NAMES list." % (n, c))
        self.joined()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--proto", choices=["chat", "irc"], required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--channel", default="Home")
    parser.add_argument("--joined-file", help="written once a client is in the channel")
    opts = parser.parse_args()

    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    with open(opts.port_file, "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    def joined():
        if opts.joined_file:
            with open(opts.joined_file, "a") as f:
                f.write("joined\n")

    sel = selectors.DefaultSelector()
    sel.register(listener, selectors.EVENT_READ)
    kind = ChatClient if opts.proto == "chat" else IrcClient
    clients = {}
    while True:
        for key, _ in sel.select():
            if key.fileobj is listener:
                sock, _ = listener.accept()
                client = kind(sock, opts.channel, joined)
                clients[sock] = client
                sel.register(sock, selectors.EVENT_READ)
                client.start()
                continue
            sock = key.fileobj
            try:
                data = sock.recv(65536)
                if not data:
                    raise ConnectionError
                clients[sock].feed(data)
            except (ConnectionError, OSError):
                sel.unregister(sock)
                sock.close()
                del clients[sock]


if __name__ == "__main__":
    main()
