"""Real servers and proxies from Debian's packages, each started in the foreground with a
configuration of its own on a free loopback port, and read back through its own access log.

Every server logs one line per answer; parse_log() turns a log into TEntry records (status, body
bytes, method, path). A log is read only after its server has stopped: some write theirs late.
"""

import os
import re
import signal
import socket
import subprocess
import time
from dataclasses import dataclass

ROOT = os.geteuid() == 0


@dataclass
class TEntry:
    status: int
    bytes: int  # body bytes the server sent (or, for HAProxy, declared), -1 where unknown
    method: str
    path: str  # without query, and without scheme and authority of an absolute target


def freeport():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def pathof(target):
    target = re.sub(r"^[a-zA-Z]+://[^/]*", "", target)
    return target.split("?", 1)[0] or "/"


class TServer:
    """One server process. Subclasses write config() and read their log in parse_log()."""

    name = ""
    logsanswers = True  # whether its log holds each answer's status and bytes

    def __init__(self, work, site):
        self.work = work  # scratch directory of this setup
        self.site = site  # the shared document tree (TSite)
        self.port = freeport()
        self.logs = os.path.join(work, "logs")
        os.makedirs(self.logs, exist_ok=True)
        # Servers that drop their privileges write their logs as another user.
        os.chmod(self.logs, 0o777)
        self.proc = None

    def path(self, name):
        return os.path.join(self.work, name)

    def write(self, name, text):
        with open(self.path(name), "w") as f:
            f.write(text)
        return self.path(name)

    def start(self):
        cmd = self.command()
        out = open(os.path.join(self.logs, self.name + ".out"), "w")
        self.proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, cwd=self.work,
                                     start_new_session=True)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise RuntimeError(f"{self.name} exited with {self.proc.returncode}: "
                                   + self.output())
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError(f"{self.name} does not listen on {self.port}: " + self.output())

    def output(self):
        with open(os.path.join(self.logs, self.name + ".out"), errors="replace") as f:
            return f.read()[-2000:]

    def stop(self):
        if self.proc is None or self.proc.poll() is not None:
            return
        os.killpg(self.proc.pid, self.stopsignal)
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()

    stopsignal = signal.SIGTERM

    def readlog(self, name):
        with open(os.path.join(self.logs, name), errors="replace") as f:
            return [line.rstrip("\n") for line in f if line.strip()]

    def parse_plain(self, name):
        """Lines of "status bytes method target"; a bytes field of "-" is 0."""
        entries = []
        for line in self.readlog(name):
            status, size, method, target = line.split(" ", 3)
            entries.append(TEntry(int(status), 0 if size == "-" else int(size), method,
                                  pathof(target)))
        return entries


class TApache(TServer):
    name = "apache"

    def command(self):
        modules = "/usr/lib/apache2/modules"
        load = "\n".join(f"LoadModule {m}_module {modules}/mod_{m}.so" for m in (
            "mpm_event", "authz_core", "authn_core", "authn_file", "auth_basic", "authz_user",
            "alias", "mime", "cgid"))
        user = "User www-data\nGroup www-data\n" if ROOT else ""
        site = self.site
        conf = self.write("apache.conf", f"""{load}
ServerRoot "{self.work}"
ServerName 127.0.0.1
Listen 127.0.0.1:{self.port}
{user}PidFile "{self.path('apache.pid')}"
DefaultRuntimeDir "{self.work}"
Mutex file:{self.work} default
ScriptSock "{self.path('cgid.sock')}"
ErrorLog "{self.logs}/apache-error.log"
LogLevel warn
LogFormat "%>s %B %m %U" interop
CustomLog "{self.logs}/apache-access.log" interop
StartServers 2
ServerLimit 16
ThreadsPerChild 25
MaxRequestWorkers 400
ListenBacklog 511
TypesConfig /dev/null
AddType text/html .html
DocumentRoot "{site.docs}"
<Directory />
  Require all denied
</Directory>
<Directory "{site.docs}">
  Require all granted
</Directory>
<Directory "{site.docs}/private">
  AuthType Basic
  AuthName "interop"
  AuthBasicProvider file
  AuthUserFile "{site.htpasswd}"
  Require valid-user
</Directory>
<Directory "{site.cgi}">
  Require all granted
</Directory>
# Built from the Host line, as Apache builds every redirect to a path.
Redirect 302 /redir /landing.html
ScriptAlias /post "{site.cgi}/post.cgi"
""")
        return ["/usr/sbin/apache2", "-f", conf, "-DFOREGROUND"]

    def parse_log(self):
        return self.parse_plain("apache-access.log")


class TNginx(TServer):
    name = "nginx"
    stopsignal = signal.SIGQUIT  # lets the workers finish and close their logs

    def command(self):
        user = "user www-data;\n" if ROOT else ""
        site = self.site
        temp = "\n".join(f"  {k}_temp_path {self.path(k)};"
                         for k in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        conf = self.write("nginx.conf", f"""{user}daemon off;
worker_processes 1;
pid {self.path('nginx.pid')};
error_log {self.logs}/nginx-error.log warn;
events {{ worker_connections 2048; }}
http {{
  types {{ text/html html; text/plain txt; }}
  log_format interop '$status $body_bytes_sent $request_method $request_uri';
  access_log {self.logs}/nginx-access.log interop;
{temp}
  server {{
    listen 127.0.0.1:{self.port} backlog=1024;
    root {site.docs};
    # A relative Location, so that a proxy in front sees the relocated request too.
    absolute_redirect off;
    location = /redir {{ return 302 /landing.html; }}
    location /private/ {{
      auth_basic "interop";
      auth_basic_user_file {site.htpasswd};
    }}
    location = /post {{ return 200 "received $content_length bytes\\n"; }}
  }}
}}
""")
        return ["/usr/sbin/nginx", "-p", self.work, "-e", f"{self.logs}/nginx-error.log",
                "-c", conf]

    def parse_log(self):
        return self.parse_plain("nginx-access.log")


class TLighttpd(TServer):
    name = "lighttpd"

    def command(self):
        user = ('server.username = "www-data"\nserver.groupname = "www-data"\n'
                if ROOT else "")
        site = self.site
        conf = self.write("lighttpd.conf", f"""server.document-root = "{site.docs}"
server.bind = "127.0.0.1"
server.port = {self.port}
{user}server.pid-file = "{self.path('lighttpd.pid')}"
server.errorlog = "{self.logs}/lighttpd-error.log"
server.modules = ("mod_access", "mod_alias", "mod_auth", "mod_authn_file", "mod_redirect",
                  "mod_cgi", "mod_accesslog")
server.max-connections = 1024
mimetype.assign = (".html" => "text/html")
accesslog.filename = "{self.logs}/lighttpd-access.log"
accesslog.format = "%s %b %m %U"
url.redirect = ("^/redir$" => "/landing.html")
url.redirect-code = 302
auth.backend = "htpasswd"
auth.backend.htpasswd.userfile = "{site.htpasswd}"
auth.require = ("/private/" => ("method" => "basic", "realm" => "interop",
                                "require" => "valid-user"))
alias.url = ("/post" => "{site.cgi}/post.cgi")
cgi.assign = (".cgi" => "/bin/sh")
""")
        return ["/usr/sbin/lighttpd", "-D", "-f", conf]

    def parse_log(self):
        return self.parse_plain("lighttpd-access.log")


class TSquid(TServer):
    name = "squid"

    def __init__(self, work, site, origin):
        super().__init__(work, site)
        self.origin = origin

    def command(self):
        conf = self.write("squid.conf", f"""http_port 127.0.0.1:{self.port}
pid_filename {self.path('squid.pid')}
logformat interop %>Hs %<st %<sh %rm %ru
access_log stdio:{self.logs}/squid-access.log interop
cache_log {self.logs}/squid-cache.log
cache_store_log none
cache deny all
http_access allow localhost
http_access deny all
strip_query_terms off
shutdown_lifetime 1 seconds
coredump_dir {self.work}
pinger_enable off
netdb_filename none
max_filedescriptors 4096
""")
        return ["/usr/sbin/squid", "-N", "-f", conf]

    def parse_log(self):
        # Squid counts the reply with its header: the body is the total less the header.
        entries = []
        for line in self.readlog("squid-access.log"):
            status, total, header, method, target = line.split(" ", 4)
            entries.append(TEntry(int(status), int(total) - int(header), method,
                                  pathof(target)))
        return entries


class THaproxy(TServer):
    name = "haproxy"
    stopsignal = signal.SIGUSR1  # soft stop: connections finish and are logged

    def __init__(self, work, site, origin):
        super().__init__(work, site)
        self.origin = origin

    def command(self):
        # One thread: threads that log to stdout at the same time drop lines rather than wait.
        conf = self.write("haproxy.cfg", f"""global
  log stdout format raw local0
  nbthread 1
  maxconn 4000
defaults
  mode http
  log global
  timeout connect 5s
  timeout client 60s
  timeout server 60s
frontend interop
  bind 127.0.0.1:{self.port}
  capture response header Content-Length len 12
  log-format "%ST %hs %HM %HU"
  default_backend origin
backend origin
  server nginx 127.0.0.1:{self.origin.port} maxconn 2000
""")
        return ["/usr/sbin/haproxy", "-db", "-f", conf]

    def parse_log(self):
        # HAProxy counts header and body together; the Content-Length it passed on is the body.
        entries = []
        for line in self.readlog(self.name + ".out"):
            m = re.match(r"^(-?\d+) \{([0-9]*)\} (\S+) (\S+)$", line)
            if m:
                entries.append(TEntry(int(m[1]), int(m[2]) if m[2] else -1, m[3],
                                      pathof(m[4])))
        return entries


class TTinyproxy(TServer):
    name = "tinyproxy"
    logsanswers = False

    def __init__(self, work, site, origin):
        super().__init__(work, site)
        self.origin = origin

    def command(self):
        user = "User nobody\nGroup nogroup\n" if ROOT else ""
        conf = self.write("tinyproxy.conf", f"""{user}Port {self.port}
Listen 127.0.0.1
Timeout 60
LogFile "{self.logs}/tinyproxy.log"
LogLevel Connect
PidFile "{self.path('tinyproxy.pid')}"
MaxClients 1000
Allow 127.0.0.1
DisableViaHeader Yes
""")
        return ["/usr/bin/tinyproxy", "-d", "-c", conf]

    def parse_log(self):
        # Its log names each request, but neither the status nor the bytes of the answer.
        entries = []
        for line in self.readlog("tinyproxy.log"):
            m = re.search(r"Request \(file descriptor \d+\): (\S+) (\S+) HTTP", line)
            if m:
                entries.append(TEntry(-1, -1, m[1], pathof(m[2])))
        return entries
