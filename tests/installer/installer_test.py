#!/usr/bin/env python3
"""Installs, upgrades, repairs and removes the per-user package with Wine's own msiexec, each case in a
fresh prefix of its own (a copy of the build's template prefix) on a display of its own, so the suite
runs beside the other tests.
    installer_test.py BUILD [CASE...]      (no CASE: every case; exit 0 when all passed)
The packages are made from the built files by tools/package.sh: the build's version and the two after it."""
import http.server
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
from functools import partial

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINE = os.path.join(TOP, "tools", "wine64.sh")
WINESERVER = "/usr/lib/wine/wineserver64"
FOLDER = r"C:\users\{user}\AppData\Local\Programs\Kestrova\Dialpass" + "\\"
CONFIG_KEY = r"HKCU\SOFTWARE\Kestrova\Dialpass"
CPLS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Control Panel\Cpls"
PROPERTIES_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Control Panel\Extended Properties"
PACKAGE_KEY = CONFIG_KEY + r"\Package"
UPGRADE_CODES_KEY = r"HKCU\Software\Microsoft\Installer\UpgradeCodes\A1C2E0B534D7B0F4A916E2C8D3F7A104"
SHORTCUT = r"C:\users\{user}\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Kestrova Dialpass.lnk"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
PROGRAMS = ["dialpass.cpl", "Update.exe", "dialpass-config.exe", "readme.txt"]
USER_FILES = ["profiles.dat", "settings.dat"]
RECORDS = ["database.ver", "database.xml", "database.sig"]
INSTALL_FAILURE = 1603


class Failure(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failure(what)


class Case:
    """One fresh prefix with its display and server; the steps of a case act on it."""

    def __init__(self, build, work, packages):
        self.build, self.work, self.packages = build, work, packages
        self.prefix = os.path.join(work, "prefix")
        template = os.path.join(build, "wine", "template")
        subprocess.run(["cp", "-al", template, self.prefix], check=True)
        for name in os.listdir(self.prefix):  # the server rewrites the registry files: real copies
            if name.endswith(".reg"):
                os.remove(os.path.join(self.prefix, name))
                shutil.copy(os.path.join(template, name), os.path.join(self.prefix, name))
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                                      "-nolisten", "tcp"], pass_fds=[write], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write)
        with os.fdopen(read) as pipe:
            display = pipe.readline().strip()
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=":" + display,
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run([WINESERVER, "-p"], env=self.env, check=True, start_new_session=True)
        self.wine("cmd", "/c", "exit")
        user = os.listdir(os.path.join(self.prefix, "drive_c", "users"))
        user = [name for name in user if name != "Public"][0]
        self.shortcut = SHORTCUT.format(user=user)
        self.use_folder(FOLDER.format(user=user))
        self.saved = {}

    def use_folder(self, folder):
        """The installation folder (C:\\...\\) the steps look at."""
        self.folder = folder
        self.linux_folder = self.linux(folder)

    def linux(self, path):
        return os.path.join(self.prefix, "drive_c", *path[3:].rstrip("\\").split("\\"))

    def close(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=self.env, stderr=subprocess.DEVNULL)
        self.xvfb.kill()
        self.xvfb.wait()

    def wine(self, *args, timeout=180):
        # Into a file, not a pipe: Wine's background programs inherit the handle and would hold a pipe open.
        with tempfile.TemporaryFile(dir=self.work) as output:
            subprocess.run([WINE, *args], env=self.env, stdin=subprocess.DEVNULL, stdout=output,
                           stderr=subprocess.DEVNULL, timeout=timeout, cwd=self.work)
            output.seek(0)
            return output.read().decode("utf-8", "replace").replace("\r", "")

    def driver(self, *args):
        output = self.wine(os.path.join(self.build, "bin", "installdriver.exe"), *args)
        values = dict(line.split("=", 1) for line in output.splitlines() if "=" in line)
        expect("failed" not in values, "installdriver %s: %s" % (args[0], values.get("failed")))
        return values

    def run(self, *args):
        return int(self.driver("run", *args)["exit"])

    def msiexec(self, *args):
        return self.run("msiexec", *args)

    def value(self, key, name):
        """A registry value's data as reg shows it, or None."""
        typed = self.typed_value(key, name)
        return typed and typed[1]

    def typed_value(self, key, name):
        """A registry value's (type, data) as reg shows them, or None."""
        match = re.search(r"^[ \t]+%s[ \t]+(REG_\w+)[ \t]*(.*)$" % re.escape(name),
                          self.wine("reg", "query", key, "/v", name), re.M)
        return match.groups() if match else None

    def key_exists(self, key):
        return "HKEY_" in self.wine("reg", "query", key)  # reg prints its errors on stdout

    def export(self):
        path = os.path.join(self.work, "config.reg")
        self.wine("reg", "export", CONFIG_KEY, "Z:" + path.replace("/", "\\"), "/y")
        with open(path, "rb") as file:
            text = file.read().decode("utf-16")
        # Without what the package writes itself: "InstallDir" and its components' key-path values.
        package = "[" + PACKAGE_KEY.replace("HKCU", "HKEY_CURRENT_USER") + "]"
        lines, in_package = [], False
        for line in text.splitlines():
            in_package = line == package or (in_package and line != "")
            if not in_package and '"InstallDir"' not in line:
                lines.append(line)
        while lines and not lines[-1]:
            lines.pop()
        return lines

    def products(self):
        """The installed products' uninstall entries: {key: (DisplayName, DisplayVersion, Publisher, HelpLink,
        URLInfoAbout, InstallLocation)}."""
        output = self.wine("reg", "query", UNINSTALL_KEY, "/s")
        entries = {}
        for block in output.split("\n\n"):
            lines = block.strip().splitlines()
            if not lines or "Kestrova Dialpass" not in block:
                continue
            fields = dict(re.findall(r"^[ \t]+(\w+)[ \t]+REG_\w+[ \t]*(.*)$", block, re.M))
            entries[lines[0]] = tuple(fields.get(name) for name in ("DisplayName", "DisplayVersion", "Publisher", "HelpLink",
                                                                    "URLInfoAbout", "InstallLocation"))
        return entries

    def file(self, name):
        path = os.path.join(self.linux_folder, name)
        return open(path, "rb").read() if os.path.exists(path) else None

    def database(self):
        """Every card database file of the installed folder and its record, by name (None: missing)."""
        names = sorted(name for name in os.listdir(self.linux_folder)
                       if name.lower().endswith(".dat") and name.lower() not in USER_FILES) + RECORDS
        return {name: self.file(name) for name in names}


# --- Steps: each takes the case and acts or checks ------------------------------------------------

def install(which, code=0, folder=None):
    """msiexec /i of the package (base, next or third), optionally into folder (INSTALLFOLDER=...)."""
    def step(case):
        got = case.msiexec("/i", case.packages[which], "/qn", *(["INSTALLFOLDER=" + folder] if folder else []))
        expect(got == code, "msiexec /i %s: exit %d, wanted %d" % (which, got, code))
        if folder:
            case.use_folder(folder)
    return step


def uninstall(which):
    def step(case):
        got = case.msiexec("/x", case.packages[which], "/qn")
        expect(got == 0, "msiexec /x %s: exit %d" % (which, got))
    return step


def installed(which):
    def step(case):
        version = case.packages[which + "_version"]
        for name in PROGRAMS + ["database.ver", "country.dat"]:
            expect(case.file(name) is not None, "%s is not installed" % name)
        expect(case.value(CONFIG_KEY, "InstallDir") == case.folder,
               "InstallDir is %r" % case.value(CONFIG_KEY, "InstallDir"))
        cpl = case.typed_value(CPLS_KEY, "Kestrova Dialpass")
        expect(cpl == ("REG_EXPAND_SZ", case.folder + "dialpass.cpl"), "the Cpls value is %r" % (cpl,))
        products = list(case.products().values())
        want = [("Kestrova Dialpass", version, "Kestrova", "https://www.kestrova.com/dialpass/help",
                 "https://www.kestrova.com/dialpass", case.folder)]
        expect(products == want, "installed products: %r, wanted %r" % (products, want))
    return step


def registered(case):
    """The Control Panel's canonical name and category, and the Start menu shortcut, for the installed applet."""
    cpl = case.folder + "dialpass.cpl"
    # key below the Extended Properties, wanted (type, data) of the value named after the applet
    for key, want in (("System.ApplicationName", ("REG_SZ", "Kestrova.Dialpass")),
                      ("{305CA226-D286-468e-B848-2B2E8E697B74} 2", ("REG_DWORD", "0x3"))):
        got = case.typed_value(PROPERTIES_KEY + "\\" + key, cpl)
        expect(got == want, "Extended Properties\\%s: %r, wanted %r" % (key, got, want))
    expect(os.path.exists(case.linux(case.shortcut)), "no Start menu shortcut %s" % case.shortcut)


def link_target(path):
    """(target, arguments) of a shell link (.lnk): the local base path of its LinkInfo, its argument string."""
    data = open(path, "rb").read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C + (2 + struct.unpack_from("<H", data, 0x4C)[0] if flags & 0x1 else 0)  # after the item id list
    target = None
    if flags & 0x2:
        size, _, _, _, base = struct.unpack_from("<5I", data, at)
        target = data[at + base:data.index(b"\0", at + base)].decode("cp1252")
        at += size
    strings = []
    for bit in (0x4, 0x8, 0x10, 0x20):  # name, relative path, working folder, arguments: UTF-16 (IsUnicode)
        count = struct.unpack_from("<H", data, at)[0] if flags & bit else 0
        strings.append(data[at + 2:at + 2 + 2 * count].decode("utf-16-le").rstrip("\0") if flags & bit else None)
        at += 2 + 2 * count if flags & bit else 0
    return target, strings[3]


def shortcut(case):
    """The Start menu shortcut's target, started with its arguments, opens the installed applet's sheet."""
    target, arguments = link_target(case.linux(case.shortcut))
    expect((target or "").lower().endswith("\\control.exe") and arguments == '"%sdialpass.cpl"' % case.folder,
           "the shortcut starts %r %r" % (target, arguments))
    host = subprocess.Popen([WINE, target, arguments.strip('"')], env=case.env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=case.work)
    try:
        deadline, windows = time.monotonic() + 20, ""
        while time.monotonic() < deadline and '"Dialpass 1.0": ("control.exe"' not in windows:
            time.sleep(0.3)
            windows = subprocess.run(["xwininfo", "-root", "-tree", "-display", case.env["DISPLAY"]],
                                     capture_output=True, text=True).stdout
        expect('"Dialpass 1.0": ("control.exe"' in windows, "no sheet opened: %s" % windows[-600:])
    finally:
        host.kill()
        host.wait()


def applet(profile=None, listed=None):
    """Opens the registered applet; OK must write profiles.dat into the installed folder."""
    def step(case):
        values = case.driver("applet", *([profile] if profile else []))
        # what the driver printed, wanted value
        for name, want in (("cpls", case.folder + "dialpass.cpl"), ("count", "1"),
                           ("newinquire", "Kestrova Dialpass"), ("icon", "1"), ("messages", "0")):
            expect(values.get(name) == want, "applet %s: %r, wanted %r (%s)" % (
                name, values.get(name), want, values.get("message_texts")))
        expect(int(values.get("locations", 0)) > 0, "Card settings lists no location")
        if profile:
            expect(values.get("profile_providers"), "the profile dialog lists no card provider")
        if listed:
            expect(listed in values.get("profiles", "").split(","), "profiles: %r" % values.get("profiles"))
        expect(case.file("profiles.dat") is not None, "OK wrote no profiles.dat into the installed folder")
    return step


def elsewhere_database(case):
    """"InstallDir" names a folder of an earlier copy by hand, with a database: it must not count."""
    os.makedirs(os.path.join(case.prefix, "drive_c", "Elsewhere"))
    open(os.path.join(case.prefix, "drive_c", "Elsewhere", "database.ver"), "wb").write(b"9\r\n")
    case.wine("reg", "add", CONFIG_KEY, "/v", "InstallDir", "/t", "REG_SZ", "/d", "C:\\Elsewhere", "/f")


def dialer_values(case):
    """Every value the dialer reads, as the applet and the Phone settings page write them."""
    # subkey, value name, type, data
    for key, name, kind, data in (("", "Enable", "REG_DWORD", "1"), ("", "CurrentLocation", "REG_DWORD", "49"),
                                  ("", "PhoneSettings", "REG_DWORD", "3"),
                                  (r"\Defaults", "Name", "REG_SZ", "Travel"),
                                  (r"\International", "Sequence", "REG_BINARY", "0100020003"),
                                  (r"\Local", "AccessNumber", "REG_SZ", "0800 123")):
        case.wine("reg", "add", CONFIG_KEY + key, "/v", name, "/t", kind, "/d", data, "/f")
    open(os.path.join(case.linux_folder, "settings.dat"), "wb").write(b"\x01\x00settings of the user")


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def update(case):
    """The installed Update.exe brings version 2 (one more country) from a local site."""
    sources = os.path.join(case.work, "sources")
    shutil.copytree(os.path.join(TOP, "data", "sample"), sources)
    with open(os.path.join(sources, "country.dat"), "ab") as file:
        file.write(b"999;Zembla;999\r\n")
    site = os.path.join(case.work, "site")
    case.wine(os.path.join(case.build, "bin", "dpdb.exe"), "publish", sources, os.path.join(site, "dialpass"),
              "--version", "2", "--key", os.path.join(case.build, "signing", "private.pem"))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), partial(QuietHandler, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        folder = case.folder
        got = case.run(folder + "Update.exe", "http://127.0.0.1:%d/dialpass" % server.server_port, folder,
                       "update.xml", folder, r"\Temp\Dialpass", folder + "update.log")
    finally:
        server.shutdown()
    expect(got == 0, "Update.exe: exit %d; %s" % (got, case.file("update.log")))
    # The version record names the version, then the key that signed it.
    expect((case.file("database.ver") or b"").startswith(b"2\r\nkey "), "database.ver: %r" % case.file("database.ver"))
    expect(b"Zembla" not in (case.file("country.dat") or b"Zembla"), "country.dat is not scrambled")


def remember(case):
    case.saved = {"registry": case.export(), "database": case.database(),
                  **{name: case.file(name) for name in USER_FILES}}


def kept(database):
    def step(case):
        for name in USER_FILES:
            expect(case.file(name) == case.saved[name], "%s changed" % name)
        expect(case.export() == case.saved["registry"], "the dialer's values changed: %r" % case.export())
        if database:
            expect(case.database() == case.saved["database"], "the card database changed: %r" % sorted(case.database()))
    return step


def removed(case):
    left = sorted(os.listdir(case.linux_folder))
    expect(left == sorted(name for name in USER_FILES if case.saved[name] is not None),
           "left in the folder: %r" % left)
    cpl = case.folder + "dialpass.cpl"
    for key, name in ((CONFIG_KEY, "InstallDir"), (CPLS_KEY, "Kestrova Dialpass"),
                      (PROPERTIES_KEY + r"\System.ApplicationName", cpl),
                      (PROPERTIES_KEY + r"\{305CA226-D286-468e-B848-2B2E8E697B74} 2", cpl)):
        expect(case.value(key, name) is None, "%s\\%s is still there" % (key, name))
    for key in (PACKAGE_KEY, UPGRADE_CODES_KEY):
        expect(not case.key_exists(key), "%s is still there" % key)
    expect(not case.products(), "still listed: %r" % case.products())
    for path in (case.shortcut, r"C:\Temp\Dialpass"):
        expect(not os.path.exists(case.linux(path)), "%s is still there" % path)


def repair(mode, logged=None):
    """The package run again (mode None), or REINSTALL=ALL in the REINSTALLMODE given, as msiexec /f... asks
    Windows Installer (Wine's msiexec /f repairs nothing: a product code is not implemented, a path fails 1605).
    logged: a line the custom action must write into the installation's log."""
    def step(case):
        extra = ["REINSTALL=ALL", "REINSTALLMODE=" + mode] if mode else []
        log = os.path.join(case.work, "repair.log")
        got = case.msiexec("/i", case.packages["base"], "/qn", "/l*", "Z:" + log.replace("/", "\\"), *extra)
        expect(got == 0, "repair (%s): exit %d" % (mode or "again", got))
        data = open(log, "rb").read() if os.path.exists(log) else b""
        text = data.decode("utf-16-le" if data[1:2] == b"\0" else "utf-8", "replace")  # Wine's is 8-bit
        ours = [line for line in text.splitlines() if "Kestrova Dialpass: " in line]
        expect(logged is None or any(logged in line for line in ours), "the log says %r" % ours)
    return step


def damage(name, how):
    """A file of the installed database deleted, or altered in its last byte (same size)."""
    def step(case):
        path = os.path.join(case.linux_folder, name)
        expect(os.path.exists(path), "%s is not installed" % name)
        if how == "deleted":
            os.remove(path)
        else:
            data = bytearray(open(path, "rb").read())
            data[-1] ^= 0x5A
            open(path, "wb").write(bytes(data))
    return step


def another_set(case):
    """The default folder already holds another (newer) set's record and table, as a copy by hand leaves them."""
    os.makedirs(case.linux_folder)
    open(os.path.join(case.linux_folder, "database.ver"), "wb").write(b"9\r\nkey 0011223344556677\r\n")
    open(os.path.join(case.linux_folder, "country.dat"), "wb").write(b"a newer set's table")
    case.saved["planted"] = case.database()


def remember_damage(case):
    case.saved["damaged"] = case.database()


def database_is(which):
    """The installed database is byte for byte the remembered one ("database") or the damaged one."""
    def step(case):
        got, want = case.database(), case.saved[which]
        differing = sorted(name for name in set(got) | set(want) if got.get(name) != want.get(name))
        expect(not differing, "database files not as %s: %r (missing now: %r)" % (
            which, differing, [name for name in differing if got.get(name) is None]))
    return step


# file damaged beside a deleted country.dat, how, REINSTALLMODE of the repair (None: the package run again)
SHIPPED_REPAIRS = [("providers.dat", "altered", None), ("database.ver", "altered", None),
                   ("database.ver", "deleted", None), ("database.xml", "altered", None),
                   ("database.sig", "deleted", "pecms"), ("manufacturers.dat", "altered", "pecms")]


def delete(name):
    def step(case):
        case.saved[name] = case.file(name)
        os.remove(os.path.join(case.linux_folder, name))
    return step


def restored(name):
    def step(case):
        expect(case.file(name) == case.saved[name], "%s is not back as it was" % name)
    return step


# --- The cases: each runs its steps, in order, in a fresh prefix -----------------------------------
CASES = {
    # case name: steps
    "first-install": [elsewhere_database, install("base"), installed("base"), registered, applet(profile="Travel"),
                      shortcut],
    # Three versions in a row keep one entry and everything of the user's; then both older ones are refused.
    "upgrades-in-a-row": [install("base"), applet(profile="Travel"), dialer_values, update, remember,
                          install("next"), installed("next"), kept(database=True),
                          install("third"), installed("third"), kept(database=True), applet(listed="Travel"),
                          install("base", INSTALL_FAILURE), install("next", INSTALL_FAILURE), installed("third")],
    "chosen-folder": [install("base", folder="C:\\Tools\\Dialpass\\"), installed("base"), registered,
                      applet(profile="Travel"), delete("dialpass.cpl"), install("base"), restored("dialpass.cpl"),
                      installed("base"), remember, install("next"), installed("next"), kept(database=True),
                      uninstall("next"), removed],
    "repair-restores-applet": [install("base"), delete("dialpass.cpl"), install("base"),
                               restored("dialpass.cpl"), installed("base")],
    # The shipped set comes back whole, whichever of its files is missing or damaged.
    "repair-restores-database": [install("base"), remember] + [
        step for name, how, mode in SHIPPED_REPAIRS
        for step in (damage("country.dat", "deleted"), damage(name, how),
                     # a changed file is deleted first, so that Windows puts it back too (it keeps changed data files)
                     repair(mode, "deleted " + name if how == "altered" else None), database_is("database"))],
    # A newer set from Update.exe is never mixed with the shipped files: repairs and an upgrade leave it as it is.
    "repair-keeps-newer-database": [install("base"), update, remember, damage("country.dat", "deleted"),
                                    damage("providers.dat", "altered"), remember_damage,
                                    repair(None, "REINSTALL ALL becomes Complete"), database_is("damaged"),
                                    repair("amus", "REINSTALL ALL becomes Complete"), database_is("damaged"),
                                    install("next"), database_is("damaged"), kept(database=False)],
    # A first install into a folder that holds another set puts none of the shipped files beside it.
    "install-beside-another-set": [another_set, install("base"), database_is("planted")],
    "uninstall-then-reinstall": [install("base"), applet(profile="Travel"), dialer_values, update, remember,
                                 uninstall("base"), removed, kept(database=False), install("base"), installed("base"),
                                 applet(listed="Travel")],
}


def msiinfo(*args):
    return subprocess.run(["msiinfo", *args], capture_output=True, text=True, check=True).stdout


def package_tables(build, work, packages):
    """What the package says, from its tables: per user, HKCU only, the refusal's message."""
    package = packages["base"]

    def rows(table):  # below the lines of column names, types and keys
        return [line.split("\t") for line in msiinfo("export", package, table).splitlines()[3:]]
    summary = msiinfo("suminfo", package)
    expect(re.search(r"^Source: 10 ", summary, re.M), "word count (per user, compressed): %s" % summary)
    expect({row[1] for row in rows("Registry")} == {"1"}, "registry outside HKCU: %r" % rows("Registry"))
    expect({row[1] for row in rows("Directory") if row[0] == "UserProgramsFolder"} == {"LocalAppDataFolder"},
           "not installed under the user's local application data")
    components = {row[0]: row for row in rows("Component")}
    # The database: permanent (0x10) and transitive (0x40) under the custom action's condition, alone in a
    # hidden feature (display 0) that is always installed (level 1) and cannot be set absent (0x10).
    database = components["Database"]
    expect(int(database[3]) & 0x50 == 0x50 and database[4] == "DATABASE_SHIPPED", "database component: %r" % database)
    features = {row[0]: row for row in rows("Feature")}
    expect([row[0] for row in rows("FeatureComponents") if row[1] == "Database"] == ["Database"] and
           [row[1] for row in rows("FeatureComponents") if row[0] == "Database"] == ["Database"] and
           features["Database"][4:7] == ["0", "1", ""] and int(features["Database"][7]) & 0x10,
           "database feature: %r" % features.get("Database"))
    # The custom action: a DLL of the Binary table run in the script's process (type 1, no flags: ICE68), after
    # the folder and REINSTALL are known and before costing evaluates the condition (ICE: every action it
    # names exists), with its entry point exported.
    actions = {row[0]: row for row in rows("CustomAction")}
    check = actions.get("CheckShippedDatabase", [None] * 4)
    expect(check[1:4] == ["1", "PackageAction", "CheckShippedDatabase"] and
           "Binary.PackageAction" in msiinfo("streams", package).split(), "custom action: %r" % check)
    executed = {row[0]: int(row[2]) for row in rows("InstallExecuteSequence")}
    expect(executed["KeepInstallFolder"] < executed["CheckShippedDatabase"] < executed["CostInitialize"] and
           executed["RepairWhenInstalled"] < executed["CheckShippedDatabase"], "sequence: %r" % sorted(
               executed, key=executed.get)[:10])
    dll = os.path.join(work, "packageaction.dll")
    subprocess.run(["msiinfo", "extract", package, "Binary.PackageAction"], stdout=open(dll, "wb"), check=True)
    exports = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", dll], capture_output=True, text=True).stdout
    names = exports[exports.find("[Ordinal/Name Pointer] Table"):].split("\n\n")[0]
    expect(re.findall(r"^\s+\[\s*\d+\] (\w+)$", names, re.M) == ["CheckShippedDatabase"],
           "packageaction.dll exports: %r" % names)
    # The old version goes after the new one is in place (right after InstallExecute, ICE63), before the new
    # one registers and publishes itself.
    sequence = {row[0]: int(row[2]) for row in rows("InstallExecuteSequence")}
    order = sorted(sequence, key=sequence.get)
    at = order.index("InstallExecute")
    expect(order[at + 1] == "RemoveExistingProducts" and "InstallFiles" in order[:at] and
           {"RegisterProduct", "PublishFeatures", "PublishProduct"} <= set(order[at + 2:order.index("InstallFinalize")]),
           "action order: %r" % order)
    # ICE38: a component installed into the user's profile is keyed by an HKCU registry value.
    registry = {row[0]: row for row in rows("Registry")}
    directories = {row[0]: row[1] for row in rows("Directory")}

    def in_profile(directory):
        while directory and directory not in ("LocalAppDataFolder", "ProgramMenuFolder"):
            directory = directories.get(directory)
        return bool(directory)
    for name, row in components.items():
        if in_profile(row[2]):
            key = registry.get(row[5])
            expect(int(row[3]) & 0x4 and key and key[1] == "1" and key[3],
                   "ICE38: component %s is keyed by %r" % (name, key))
    # ICE64: every folder of ours in the profile has a RemoveFile row that removes it.
    removed_folders = {row[3] for row in rows("RemoveFile") if not row[2]}
    ours = {name for name in directories if in_profile(name)} - {"LocalAppDataFolder", "ProgramMenuFolder"}
    expect(ours <= removed_folders, "ICE64: folders without RemoveFolder: %r" % sorted(ours - removed_folders))
    # ICE60: a versioned file has a language and no hash (hashes are for unversioned files).
    hashed = {row[0] for row in rows("MsiFileHash")}
    for row in rows("File"):
        if row[4] and row[4][0].isdigit():
            expect(row[5] and row[0] not in hashed, "ICE60: %s version %r language %r hashed %r" % (
                row[0], row[4], row[5], row[0] in hashed))
    # Wine repairs on a second "msiexec /i" by itself; Windows does only when REINSTALL is set.
    expect(["RepairWhenInstalled", "51", "REINSTALL", "ALL"] in [row[:4] for row in rows("CustomAction")],
           "running the package again does not repair: %r" % rows("CustomAction"))
    expect(any("newer version of Kestrova Dialpass" in row[1] for row in rows("LaunchCondition")),
           "no refusal message: %r" % rows("LaunchCondition"))
    properties = dict(row[:2] for row in rows("Property"))
    links = [properties.get(name, "") for name in ("ARPHELPLINK", "ARPURLINFOABOUT", "ARPURLUPDATEINFO")]
    expect(properties.get("ARPPRODUCTICON") and all(link.startswith("https://") for link in links),
           "icon and links: %r %r" % (properties.get("ARPPRODUCTICON"), links))
    # The version resource of each program: company, product and the build's version, as UTF-16 pairs.
    extracted = os.path.join(work, "extracted")
    os.mkdir(extracted)
    subprocess.run(["msiextract", "-C", extracted, package], check=True, capture_output=True)
    checked = []
    for root, _, names in os.walk(extracted):
        for name in set(names) & set(PROGRAMS[:3]):
            checked.append(name)
            data = open(os.path.join(root, name), "rb").read()
            # version resource key, wanted value
            for key, value in (("CompanyName", "Kestrova"), ("ProductName", "Kestrova Dialpass"),
                               ("ProductVersion", packages["base_version"]), ("FileVersion", packages["base_version"]),
                               ("OriginalFilename", name)):
                # The resource may start at an odd offset: read the bytes both ways.
                text = data.decode("utf-16-le", "replace") + data[1:].decode("utf-16-le", "replace")
                found = re.search(re.escape(key) + "\x00+([^\x00]*)", text)
                expect(found and found.group(1) == value, "%s %s: %r" % (name, key, found and found.group(1)))
    expect(len(checked) == 3, "programs in the package: %r" % checked)
    versions = {row[0]: row[4] for row in rows("File") if row[2] in PROGRAMS[:3]}
    expect(set(versions.values()) == {packages["base_version"] + ".0"}, "file versions: %r" % versions)
    files = sorted(row[2] for row in rows("File"))
    expect(set(PROGRAMS + ["database.ver", "country.dat", "providers.dat", "manufacturers.dat"]) <= set(files),
           "files: %r" % files)


def signing(build, work, packages):
    """A throwaway certificate signs the programs and the package with SHA-256; unsigned without one."""
    cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2",
                    "-subj", "/CN=Kestrova test signing", "-keyout", key, "-out", cert],
                   check=True, capture_output=True)
    dist = os.path.join(work, "signed")
    environment = dict(os.environ, DIALPASS_BUILD=build, DIALPASS_DIST=dist, DIALPASS_SIGN_CERT=cert,
                       DIALPASS_SIGN_KEY=key)
    package = subprocess.run([os.path.join(TOP, "tools", "package.sh")], env=environment, check=True,
                             capture_output=True, text=True).stdout.strip()
    extracted = os.path.join(work, "extracted")
    os.mkdir(extracted)
    subprocess.run(["msiextract", "-C", extracted, package], check=True, capture_output=True)
    signed = {os.path.basename(package): package}
    for root, _, names in os.walk(extracted):
        signed.update({name: os.path.join(root, name) for name in names if name in PROGRAMS[:3]})
    expect(len(signed) == 4, "signed files: %r" % sorted(signed))
    for name, path in signed.items():
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path], capture_output=True, text=True)
        expect(result.returncode == 0 and "sha256" in result.stdout.lower(),
               "%s: %s" % (name, result.stdout[-400:] + result.stderr[-400:]))
    result = subprocess.run(["osslsigncode", "verify", "-in", packages["base"]], capture_output=True, text=True)
    expect(result.returncode != 0, "the package made without a certificate is signed")


TSA_CONFIG = """[tsa]
default_tsa = own
[own]
serial = %(work)s/tsa-serial
crypto_device = builtin
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
accuracy = secs:1
ess_cert_id_chain = no
ess_cert_id_alg = sha256
[extensions]
extendedKeyUsage = critical,timeStamping
"""


def timestamped(build, work, packages):
    """Signed from a PKCS#12 file with DIALPASS_SIGN_TIMESTAMP: each signature carries an RFC 3161 timestamp
    from a timestamp authority of the test's own on localhost (openssl ts)."""
    run = partial(subprocess.run, check=True, capture_output=True)
    config = os.path.join(work, "tsa.cnf")
    open(config, "w").write(TSA_CONFIG % {"work": work})
    open(os.path.join(work, "tsa-serial"), "w").write("01\n")
    tsa_cert, tsa_key = os.path.join(work, "tsa.pem"), os.path.join(work, "tsa-key.pem")
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2", "-subj",
         "/CN=Kestrova test timestamps", "-config", config, "-extensions", "extensions",
         "-keyout", tsa_key, "-out", tsa_cert])
    cert, key, pkcs12 = (os.path.join(work, name) for name in ("cert.pem", "key.pem", "signing.p12"))
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2",
         "-subj", "/CN=Kestrova test signing", "-keyout", key, "-out", cert])
    run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-passout", "pass:", "-out", pkcs12])

    class Authority(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = os.path.join(work, "query.tsq")
            open(query, "wb").write(self.rfile.read(int(self.headers["Content-Length"])))
            reply = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", query,
                                    "-signer", tsa_cert, "-inkey", tsa_key, "-chain", tsa_cert],
                                   capture_output=True).stdout
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Authority)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        environment = dict(os.environ, DIALPASS_BUILD=build, DIALPASS_DIST=os.path.join(work, "signed"),
                           DIALPASS_SIGN_PKCS12=pkcs12,
                           DIALPASS_SIGN_TIMESTAMP="http://127.0.0.1:%d/" % server.server_port)
        package = subprocess.run([os.path.join(TOP, "tools", "package.sh")], env=environment, check=True,
                                 capture_output=True, text=True).stdout.strip()
    finally:
        server.shutdown()
    extracted = os.path.join(work, "extracted")
    run(["msiextract", "-C", extracted, package])
    signed = [package] + [os.path.join(root, name) for root, _, names in os.walk(extracted)
                          for name in names if name in PROGRAMS[:3]]
    expect(len(signed) == 4, "signed files: %r" % signed)
    for path in signed:
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-TSA-CAfile", tsa_cert, "-in", path],
                                capture_output=True, text=True)
        expect(result.returncode == 0 and "Timestamp Server Signature verification: ok" in result.stdout,
               "%s: %s" % (os.path.basename(path), result.stdout[-600:] + result.stderr[-300:]))


# Cases that need no prefix: they read or sign packages.
PACKAGE_CASES = {"package-tables": package_tables, "signing": signing, "timestamped": timestamped}


def main():
    build = os.path.abspath(sys.argv[1])
    wanted = sys.argv[2:] or list(CASES) + list(PACKAGE_CASES)
    unknown = [name for name in wanted if name not in CASES and name not in PACKAGE_CASES]
    if unknown:
        print("unknown case(s): %s; cases: %s" % (unknown, " ".join(list(CASES) + list(PACKAGE_CASES))))
        return 2
    subprocess.run([os.path.join(TOP, "tools", "wine-env.sh"), "template", os.path.join(build, "wine")],
                   check=True, stdout=subprocess.DEVNULL)
    root = tempfile.mkdtemp(prefix="installer-tests-", dir=build)
    base = open(os.path.join(build, "version.txt")).read().strip()
    major, minor, number = (int(part) for part in base.split("."))
    following = "%d.%d.%d" % (major, minor, number + 1) if number < 65535 else "%d.%d.0" % (major, minor + 1)
    after = "%d.%d.%d" % (major, minor, number + 2) if number < 65534 else "%d.%d.1" % (major, minor + 1)
    packages = {"base_version": base, "next_version": following, "third_version": after}
    for which, version in (("base", base), ("next", following), ("third", after)):
        environment = dict(os.environ, DIALPASS_BUILD=build, DIALPASS_DIST=os.path.join(root, "dist"))
        path = subprocess.run([os.path.join(TOP, "tools", "package.sh"), version], env=environment, check=True,
                              capture_output=True, text=True).stdout.strip()
        packages[which] = "Z:" + path.replace("/", "\\")
        packages[which + "_linux"] = path
    failures = 0
    for name in wanted:
        work = os.path.join(root, name)
        os.mkdir(work)
        start = time.monotonic()
        try:
            if name in PACKAGE_CASES:
                PACKAGE_CASES[name](build, work, {**packages, "base": packages["base_linux"]})
            else:
                case = Case(build, work, packages)
                try:
                    for index, step in enumerate(CASES[name]):
                        try:
                            step(case)
                        except Failure as failure:
                            raise Failure("step %d: %s" % (index + 1, failure))
                finally:
                    case.close()
            print("PASS %-26s %5.1f s" % (name, time.monotonic() - start), flush=True)
        except (Failure, subprocess.SubprocessError) as failure:
            failures += 1
            print("FAIL %-26s %5.1f s  %s" % (name, time.monotonic() - start, failure), flush=True)
    if not failures:
        shutil.rmtree(root, ignore_errors=True)
    else:
        print("kept for inspection: %s" % root)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
