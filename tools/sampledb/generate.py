#!/usr/bin/python3
"""Generate the plain-text sources of the sample card database.

Writes, into data/sample/ (or the directory given with --out):

  country.dat    id;name;code      one line per dialable region: ISO 3166-1
                                   numeric code, English short name, and
                                   the international calling code
  providers.dat  OPERATOR;CODE;    one line per mobile network (MCC and MNC
                                   read as one decimal number) with the
                                   calling code of the country it works in

Sources (Debian packages):
  python3-phonenumbers            regions and calling codes (libphonenumber)
  iso-codes                       /usr/share/iso-codes/json/iso_3166-1.json
  mobile-broadband-provider-info  /usr/share/mobile-broadband-provider-info/
                                  serviceproviders.xml

manufacturers.dat and the access-number files next to them are written by
hand; this script does not touch them, but it checks them together with the
files it writes (field widths, separators, line ends, cross references).

All files are Windows-1252 text, every line ended by CR LF (the last one
too), no empty lines, each file smaller than 65,536 bytes.  They are the
plain-text form; the dpdb tool scrambles them for installation.

Run with /usr/bin/python3 (Debian's interpreter, where phonenumbers is
installed).  The output depends only on the installed package versions.
"""

import argparse
import json
import os
import re
import subprocess
import sys
import unicodedata
import xml.etree.ElementTree as ET

try:
    import phonenumbers
except ImportError:
    sys.exit("generate.py: the phonenumbers module is missing; run with "
             "/usr/bin/python3 or apt-get install python3-phonenumbers")

ISO_3166_JSON = "/usr/share/iso-codes/json/iso_3166-1.json"
PROVIDERS_XML = "/usr/share/mobile-broadband-provider-info/serviceproviders.xml"

ENCODING = "cp1252"
EOL = b"\r\n"
MAX_FILE_SIZE = 65535          # the reader keeps line offsets in 16 bits

# Field widths of the records, in bytes including the terminating zero:
# a text field must be shorter than its width.
COUNTRY_NAME_WIDTH = 32
SHORT_NAME_WIDTH = 16
DISPLAY_NAME_WIDTH = 60
ACCESS_NUMBER_WIDTH = 20
DESCRIPTION_WIDTH = 64

# Country names that do not fit in 31 bytes, shortened by hand.  Keyed by
# ISO 3166-1 alpha-2 code.  Used only where the iso-codes name is too long.
SHORT_COUNTRY_NAMES = {
    "BQ": "Bonaire, Sint Eustatius, Saba",    # Bonaire, Sint Eustatius and Saba
    "CD": "Congo, Democratic Republic",       # Congo, The Democratic Republic of the
    # +290 covers Saint Helena and Tristan da Cunha; Ascension has its own
    # code (+247) and no ISO 3166-1 entry of its own.
    "SH": "Saint Helena, Tristan da Cunha",   # Saint Helena, Ascension and Tristan da Cunha
    "VC": "Saint Vincent & the Grenadines",   # Saint Vincent and the Grenadines
}

# Networks of the Crimean operators carry Russian MCC 250 but are filed under
# another country in serviceproviders.xml; they are dialed as +7.
RUSSIAN_MCC = "250"
RUSSIAN_CALLING_CODE = 7


class DataError(Exception):
    pass


def fail(message):
    raise DataError(message)


# --------------------------------------------------------------------------
# Line checks.  Each takes the line as bytes (without CR LF) and raises
# DataError when the line would not load, or does not look the way our own
# data should look.

DIGITS = re.compile(rb"^[0-9]+$")


def _number(field, what, maximum):
    if not DIGITS.match(field):
        fail("%s %r is not a plain decimal number" % (what, field))
    value = int(field)
    if value > maximum:
        fail("%s %d is larger than %d" % (what, value, maximum))
    return value


def _text(field, what, width):
    if not field:
        fail("%s is empty" % what)
    if len(field) >= width:
        fail("%s %r has %d bytes, at most %d allowed"
             % (what, field, len(field), width - 1))
    if field != field.strip() or b"\t" in field:
        fail("%s %r has leading/trailing blanks or a tab" % (what, field))
    return field


def _common(line):
    if not line:
        fail("empty line")
    if b"\r" in line or b"\n" in line:
        fail("stray CR or LF inside line %r" % line)
    if any(b < 0x20 and b != 0x09 for b in line):
        fail("control character in line %r" % line)
    line.decode(ENCODING)           # undefined cp1252 bytes raise here


def check_country_line(line):
    _common(line)
    fields = line.split(b";")
    if len(fields) != 3:
        fail("country line %r: expected id;name;code" % line)
    cid = _number(fields[0], "country id", 0xFFFF)
    if cid == 0:
        fail("country line %r: id 0" % line)
    name = _text(fields[1], "country name", COUNTRY_NAME_WIDTH)
    code = _number(fields[2], "calling code", 0xFFFF)
    if code == 0:
        fail("country line %r: calling code 0" % line)
    return cid, name, code


def check_operator_line(line):
    _common(line)
    m = re.match(rb"^([0-9]+);([0-9]+);$", line)
    if not m:
        fail("operator line %r: expected OPERATOR;CODE;" % line)
    operator = _number(m.group(1), "operator number", 0x7FFFFFFF)
    code = _number(m.group(2), "calling code", 0x7FFFFFFF)
    if operator < 10000 or code == 0:
        fail("operator line %r: implausible values" % line)
    return operator, code


SHORT_NAME_CHARS = re.compile(rb"^[A-Za-z0-9_-]+$")


def check_manufacturer_line(line):
    _common(line)
    first = line.find(b";")
    second = line.find(b";", first + 1) if first >= 0 else -1
    if first < 0 or second < 0:
        fail("manufacturer line %r: expected id;shortName;displayName" % line)
    pid = _number(line[:first], "provider id", 0xFFFF)
    short = _text(line[first + 1:second], "short name", SHORT_NAME_WIDTH)
    if not SHORT_NAME_CHARS.match(short):
        fail("short name %r: use letters, digits, '_' and '-' only "
             "(it names a file)" % short)
    display = _text(line[second + 1:], "display name", DISPLAY_NAME_WIDTH)
    return pid, short, display


# The reader takes a description only from a blank or tab directly followed
# by "(" ... ")".  Our files use exactly that form or nothing at all.
ACCESS_REST = re.compile(rb"^(?:[ \t]\(([^()]*)\))?$")


def check_access_line(line):
    _common(line)
    fields = line.split(b";", 2)
    if len(fields) != 3:
        fail("access-number line %r: expected code;number;[ (description)]"
             % line)
    code = _number(fields[0], "calling code", 0xFFFF)
    number = _text(fields[1], "access number", ACCESS_NUMBER_WIDTH)
    if not DIGITS.match(number):
        fail("access number %r: digits only" % number)
    m = ACCESS_REST.match(fields[2])
    if not m:
        fail("access-number line %r: after the number only a blank or tab "
             "and a (description) may follow" % line)
    desc = m.group(1)
    if desc is not None:
        _text(desc, "description", DESCRIPTION_WIDTH)
    return code, number, desc


# --------------------------------------------------------------------------
# File level.

def encode_lines(lines, check, what):
    """lines: list of str.  Returns the file content after checking it."""
    out = []
    for n, text in enumerate(lines, 1):
        try:
            raw = text.encode(ENCODING)
        except UnicodeEncodeError:
            fail("%s line %d %r cannot be written in %s"
                 % (what, n, text, ENCODING))
        try:
            check(raw)
        except DataError as e:
            fail("%s line %d: %s" % (what, n, e))
        out.append(raw + EOL)
    data = b"".join(out)
    if len(data) > MAX_FILE_SIZE:
        fail("%s is %d bytes, must stay under 65,536" % (what, len(data)))
    return data


def read_checked(path, check):
    """Reads one database source file and checks every line.  Returns the
    parsed records."""
    what = os.path.basename(path)
    with open(path, "rb") as f:
        data = f.read()
    if not data:
        fail("%s is empty" % what)
    if len(data) > MAX_FILE_SIZE:
        fail("%s is %d bytes, must stay under 65,536" % (what, len(data)))
    if not data.endswith(EOL):
        fail("%s does not end with CR LF" % what)
    records = []
    for n, raw in enumerate(data[:-len(EOL)].split(EOL), 1):
        try:
            records.append(check(raw))
        except (DataError, UnicodeDecodeError) as e:
            fail("%s line %d: %s" % (what, n, e))
    return records, len(data)


def write_file(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


# --------------------------------------------------------------------------
# country.dat

def sort_key(name):
    """Language-neutral order: accents ignored first, then exact text."""
    plain = unicodedata.normalize("NFKD", name)
    plain = "".join(c for c in plain if not unicodedata.combining(c))
    return (plain.casefold(), name)


def build_countries():
    with open(ISO_3166_JSON, encoding="utf-8") as f:
        iso = {e["alpha_2"]: e for e in json.load(f)["3166-1"]}

    rows, skipped, shortened = [], [], []
    used_short = set()
    for region in sorted(phonenumbers.SUPPORTED_REGIONS):
        entry = iso.get(region)
        if entry is None:
            skipped.append(region)
            continue
        name = entry.get("common_name", entry["name"])
        if len(name.encode(ENCODING, "replace")) >= COUNTRY_NAME_WIDTH:
            if region not in SHORT_COUNTRY_NAMES:
                fail("country name %r (%s) is longer than %d bytes; add it "
                     "to SHORT_COUNTRY_NAMES"
                     % (name, region, COUNTRY_NAME_WIDTH - 1))
            shortened.append((region, name, SHORT_COUNTRY_NAMES[region]))
            used_short.add(region)
            name = SHORT_COUNTRY_NAMES[region]
        code = phonenumbers.country_code_for_region(region)
        if not code:
            fail("no calling code for region %s" % region)
        rows.append((sort_key(name), int(entry["numeric"]), name, code))

    for region in sorted(set(SHORT_COUNTRY_NAMES) - used_short):
        print("note: short name for %s no longer needed" % region)

    rows.sort()
    ids = [r[1] for r in rows]
    if len(set(ids)) != len(ids):
        fail("duplicate ISO numeric codes in country.dat")
    lines = ["%d;%s;%d" % (cid, name, code) for _, cid, name, code in rows]
    return lines, skipped, shortened


# --------------------------------------------------------------------------
# providers.dat

def build_operators():
    root = ET.parse(PROVIDERS_XML).getroot()
    operators = {}               # number -> (code, filed under, mcc, mnc)
    corrections = []
    duplicates = conflicts = 0
    for country in root.findall("country"):
        region = country.get("code", "").upper()
        filed_code = phonenumbers.country_code_for_region(region)
        if not filed_code:
            fail("serviceproviders.xml: country %r has no calling code"
                 % region)
        for provider in country.findall("provider"):
            pname = (provider.findtext("name") or "").strip()
            for net in provider.iter("network-id"):
                mcc, mnc = net.get("mcc", ""), net.get("mnc", "")
                if not (re.match(r"^[0-9]{3}$", mcc)
                        and re.match(r"^[0-9]{2,3}$", mnc)):
                    fail("serviceproviders.xml: bad network-id %r/%r under %s"
                         % (mcc, mnc, region))
                code = filed_code
                if mcc == RUSSIAN_MCC and region != "RU":
                    code = RUSSIAN_CALLING_CODE
                    corrections.append((mcc, mnc, pname, region, filed_code))
                number = int(mcc + mnc)
                if number in operators:
                    duplicates += 1
                    if operators[number][0] != code:
                        conflicts += 1
                        print("note: %d filed again under %s (+%d), keeping "
                              "+%d from %s" % (number, region, code,
                                               operators[number][0],
                                               operators[number][1]))
                    continue
                operators[number] = (code, region, mcc, mnc)
    lines = ["%d;%d;" % (n, operators[n][0]) for n in sorted(operators)]
    return lines, corrections, duplicates, conflicts


# --------------------------------------------------------------------------
# Hand-written files: manufacturers.dat and one access-number file each.

def check_hand_written(outdir, country_codes):
    sizes = {}
    path = os.path.join(outdir, "manufacturers.dat")
    if not os.path.exists(path):
        print("note: %s not found, hand-written files not checked" % path)
        return sizes
    makers, sizes["manufacturers.dat"] = read_checked(path,
                                                      check_manufacturer_line)
    ids = [m[0] for m in makers]
    if len(set(ids)) != len(ids):
        fail("manufacturers.dat: duplicate provider id")
    shorts = [m[1].lower() for m in makers]
    if len(set(shorts)) != len(shorts):
        fail("manufacturers.dat: duplicate short name")
    for pid, short, display in makers:
        name = short.decode(ENCODING) + ".dat"
        numbers, sizes[name] = read_checked(os.path.join(outdir, name),
                                            check_access_line)
        for code, number, desc in numbers:
            if code not in country_codes:
                fail("%s: calling code %d is not in country.dat"
                     % (name, code))
    return sizes


# --------------------------------------------------------------------------

def package_versions():
    pkgs = ["python3-phonenumbers", "iso-codes",
            "mobile-broadband-provider-info"]
    try:
        out = subprocess.run(
            ["dpkg-query", "-W", "-f", "${Package} ${Version}\n"] + pkgs,
            capture_output=True, text=True, check=False).stdout
        return out.split("\n")[:-1]
    except OSError:
        return []


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default_out = os.path.normpath(os.path.join(here, "..", "..",
                                                "data", "sample"))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", default=default_out,
                    help="output directory (default: %(default)s)")
    args = ap.parse_args()

    try:
        country_lines, skipped, shortened = build_countries()
        country_data = encode_lines(country_lines, check_country_line,
                                    "country.dat")
        operator_lines, corrections, duplicates, conflicts = build_operators()
        operator_data = encode_lines(operator_lines, check_operator_line,
                                     "providers.dat")

        os.makedirs(args.out, exist_ok=True)
        write_file(os.path.join(args.out, "country.dat"), country_data)
        write_file(os.path.join(args.out, "providers.dat"), operator_data)

        country_codes = {int(l.split(";")[2]) for l in country_lines}
        hand_sizes = check_hand_written(args.out, country_codes)
    except DataError as e:
        sys.exit("generate.py: error: %s" % e)

    for line in package_versions():
        print("source: %s" % line)
    print("phonenumbers module %s" % phonenumbers.__version__)
    print("country.dat: %d lines, %d bytes (regions without ISO 3166-1 "
          "entry skipped: %s)" % (len(country_lines), len(country_data),
                                  " ".join(skipped) or "none"))
    for region, old, new in shortened:
        print("  shortened %s: %r -> %r" % (region, old, new))
    print("providers.dat: %d lines, %d bytes (%d repeated network ids "
          "dropped, %d of them with another code)"
          % (len(operator_lines), len(operator_data), duplicates, conflicts))
    for mcc, mnc, pname, region, filed in corrections:
        print("  corrected %s/%s %s: filed under %s (+%d), written as +%d"
              % (mcc, mnc, pname, region, filed, RUSSIAN_CALLING_CODE))
    for name in sorted(hand_sizes):
        print("%s: checked, %d bytes" % (name, hand_sizes[name]))


if __name__ == "__main__":
    main()
