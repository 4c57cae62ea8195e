#!/usr/bin/env python3
"""A quiet chat server on 127.0.0.1 for the side-by-side comparison (bench/peers.sh).

One client at a time is logged in and put in a channel of ten users, and then
nothing more is said, so whatever the client does afterwards is its own idle
cost. With --hold the client is logged in but kept out of the channel until
the server gets SIGUSR1; then it is put in a channel of --users users and
--lines chat lines follow at once (one in five with a URL), so the cost of
taking in a crowd can be told apart from the client's start. Two protocols:
  --proto chat   the text chat gateway our bot speaks (selector byte, password
                 prompt, event lines)
  --proto irc    plain IRC for the peer clients (registration, JOIN, NAMES;
                 PING is answered)
Usage: idle_server.py --proto chat|irc --port-file FILE [--channel NAME] [--joined-file FILE]
                      [--users N] [--lines N] [--hold] [--sent-file FILE]
The chosen port is written to FILE once listening; --joined-file is written
when a client is in the channel (with --hold: logged in and waiting), and
--sent-file once the channel and its lines were all sent. SIGTERM ends the server.
"""
import argparse
import selectors
import signal
import socket
import sys



class Crowd:
    """Who is in the channel and what they say, the same for both protocols."""

    def __init__(self, users, lines):
        self.users = ["user%d" % i for i in range(users)]
        self.lines = lines

    def is_op(self, i):
        return i % 50 == 49

    def talk(self):
        """(user, text) for each chat line."""
        n = len(self.users)
        for i in range(self.lines):
            who = self.users[i % n] if n else "user0"
            if i % 5 == 0:
                text = "have a look at http://www.example.com/page/%d it is good" % i
            else:
                text = "line %d of ordinary channel talk, nothing to click in here" % i
            yield who, text


class ChatClient:
    """The text gateway: everything the bot sends is read; the login is played once."""

    def __init__(self, sock, channel, crowd, hold, joined):
        self.sock, self.channel, self.buf, self.logged_in = sock, channel, b"", False
        self.crowd, self.hold, self.joined = crowd, hold, joined

    def start(self):
        pass  # the gateway speaks once the selector byte arrives

    def enter(self):
        lines = ["1007 CHANNEL \"%s\"" % self.channel, "1001 USER acct 0010 [CHAT]"]
        lines += ["1001 USER %s %s [CHAT]" % (u, "0002" if self.crowd.is_op(i) else "0000")
                  for i, u in enumerate(self.crowd.users)]
        lines += ["1005 TALK %s 0000 \"%s\"" % (u, t) for u, t in self.crowd.talk()]
        self.sock.sendall(("\r\n".join(lines) + "\r\n").encode())

    def feed(self, data):
        first = not self.buf
        self.buf += data
        if first:
            self.sock.sendall(b"Username: Password: \r\nPlease enter your name and password.\r\n")
        if not self.logged_in and self.buf.count(b"\n") >= 2:
            self.logged_in = True
            self.sock.sendall(b"2010 NAME acct\r\n")
            if not self.hold:
                self.enter()
            self.joined(self)
        self.buf = self.buf[-4096:]


class IrcClient:
    def __init__(self, sock, channel, crowd, hold, joined):
        self.sock, self.channel, self.buf, self.nick = sock, "#" + channel, b"", "peer"
        self.crowd, self.hold, self.joined = crowd, hold, joined

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
            if self.hold:
                self.joined(self)
            else:
                self.enter()
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

    def enter(self):
        n, c = self.nick, self.channel
        lines = [":%s!u@localhost JOIN %s" % (n, c), ":idle.local 332 %s %s :idle channel" % (n, c)]
        names = [n] + [("@" if self.crowd.is_op(i) else "") + u for i, u in enumerate(self.crowd.users)]
        for at in range(0, len(names), 40):
            lines.append(":idle.local 353 %s = %s :%s" % (n, c, " ".join(names[at:at + 40])))
        lines.append(":idle.local 366 %s %s :End of /NAMES list." % (n, c))
        lines += [":%s!u@localhost PRIVMSG %s :%s" % (u, c, t) for u, t in self.crowd.talk()]
        self.sock.sendall(("\r\n".join(lines) + "\r\n").encode())
        if not self.hold:
            self.joined(self)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--proto", choices=["chat", "irc"], required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--channel", default="Home")
    parser.add_argument("--joined-file", help="written once a client is in the channel")
    parser.add_argument("--users", type=int, default=10)
    parser.add_argument("--lines", type=int, default=0)
    parser.add_argument("--hold", action="store_true", help="the channel waits for SIGUSR1")
    parser.add_argument("--sent-file", help="written once the channel and its lines were sent")
    opts = parser.parse_args()
    crowd = Crowd(opts.users, opts.lines)

    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    with open(opts.port_file, "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    go = []
    signal.signal(signal.SIGUSR1, lambda *_: go.append(True))
    waiting = []

    def note(path, what):
        if path:
            with open(path, "a") as f:
                f.write(what + "\n")

    def joined(client):
        if opts.hold:
            waiting.append(client)
        else:
            note(opts.sent_file, "sent")
        note(opts.joined_file, "joined")

    sel = selectors.DefaultSelector()
    sel.register(listener, selectors.EVENT_READ)
    kind = ChatClient if opts.proto == "chat" else IrcClient
    clients = {}
    while True:
        if go and waiting:
            del go[:]
            for client in waiting:
                try:
                    client.enter()
                except OSError:
                    pass
            del waiting[:]
            note(opts.sent_file, "sent")
        for key, _ in sel.select(timeout=0.1 if opts.hold else None):
            if key.fileobj is listener:
                sock, _ = listener.accept()
                client = kind(sock, opts.channel, crowd, opts.hold, joined)
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
                if clients[sock] in waiting:
                    waiting.remove(clients[sock])
                del clients[sock]


if __name__ == "__main__":
    main()
