#!/usr/bin/python3
"""Compares the 802.11 fields quorvane shows with tshark's, frame by frame.

    compare_tshark.py QUORVANE CAPTURE...

For each frame: the flags, duration, addresses, fragment and sequence
numbers, the fixed fields of management bodies, the capability bits and the
information elements quorvane shows (identity, length, SSID, rates, channel,
TIM, country). A field is compared only where both tools show it; the known
differences of presentation are folded first (tshark masks the duration and
the association id to their value bits). Prints one line per difference and
a count per capture; exits 1 when any differ.

Data frames with a QoS control field or the WEP bit carry that field or the
IV into what quorvane hands to LLC-802.2: their LLC layer is not compared.
"""
import re
import subprocess
import sys

FIELDS = [
    "frame.number", "wlan.fc.type_subtype", "wlan.fc.order", "wlan.fc.protected", "wlan.fc.moredata",
    "wlan.fc.pwrmgt", "wlan.fc.retry", "wlan.fc.frag", "wlan.fc.fromds", "wlan.fc.tods", "wlan.duration",
    "wlan.ra", "wlan.ta", "wlan.da", "wlan.sa", "wlan.bssid", "wlan.frag", "wlan.seq",
    "wlan.fixed.reason_code", "wlan.fixed.status_code", "wlan.fixed.auth.alg", "wlan.fixed.auth_seq",
    "wlan.fixed.listen_ival", "wlan.fixed.aid", "wlan.fixed.timestamp", "wlan.fixed.beacon",
    "wlan.fixed.capabilities", "wlan.tag.number", "wlan.tag.length", "wlan.ssid", "wlan.supported_rates",
    "wlan.ds.current_channel", "wlan.tim.dtim_count", "wlan.tim.dtim_period", "wlan.tim.bmapctl",
    "wlan.country_info.code",
]

FLAG_LABELS = {"Order": "wlan.fc.order", "WEP": "wlan.fc.protected", "More Data": "wlan.fc.moredata",
               "Power Mgmt": "wlan.fc.pwrmgt", "Retry": "wlan.fc.retry", "More Fragments": "wlan.fc.frag",
               "From DS": "wlan.fc.fromds", "To DS": "wlan.fc.tods"}

CAPABILITY_BITS = {"Channel Agility": 0x80, "PBCC": 0x40, "Short Preamble": 0x20, "Privacy": 0x10,
                   "CF Poll Request": 0x08, "CF Pollable": 0x04, "IBSS": 0x02, "ESS": 0x01}


def tshark(capture):
    out = subprocess.run(["tshark", "-n", "-r", capture, "-T", "fields", "-E", "separator=|", "-E",
                          "occurrence=a", "-E", "aggregator=;"] + sum([["-e", f] for f in FIELDS], []),
                         capture_output=True, text=True).stdout
    frames = []
    for line in out.splitlines():
        values = line.split("|")
        frames.append({f: v for f, v in zip(FIELDS, values)})
    return frames


def quorvane(binary, capture):
    """Per frame: the MAC-802.11 lines as (depth, label, value)."""
    out = subprocess.run([binary, "-q", "-V", capture], capture_output=True, text=True).stdout
    frames, lines, inside = [], None, False
    for raw in out.splitlines():
        if raw.startswith("IEEE 802.11 MAC Protocol"):
            lines = []
            frames.append(lines)
            inside = True
            continue
        if not raw.strip():
            inside = False
            continue
        if not raw.startswith(" "):
            inside = False  # the next layer's title
        if inside:
            depth = (len(raw) - len(raw.lstrip(" "))) // 2
            parts = re.split(r"  +", raw.strip(), maxsplit=1)
            lines.append((depth, parts[0], parts[1] if len(parts) > 1 else ""))
    return frames


def address(text):
    return text.replace("-", ":").lower()


def ours(lines):
    """The fields of one frame as quorvane showed them."""
    got = {"addresses": [], "elements": [], "rates": [], "flags": {}, "capability": None}
    group = None
    for depth, label, value in lines:
        if depth == 1 and not value:
            group = label
            if label == "Information Element":
                got["elements"].append({})
        if label == "Function":
            got["function"] = value
        elif group == "Frame Control Byte 1" and label in FLAG_LABELS:
            got["flags"][FLAG_LABELS[label]] = "1" if value.endswith("on") else "0"
        elif label == "Hex Address":
            got["addresses"].append((group, address(value)))
        elif group == "Capability Information" and label in CAPABILITY_BITS:
            got["capability"] = (got["capability"] or 0) | (CAPABILITY_BITS[label] if value.endswith("On") else 0)
        elif group == "Information Element":
            element = got["elements"][-1]
            if label == "Rate":
                got["rates"].append(value.split(" ")[0])
            else:
                element[label] = value
        else:
            got[label] = value
    return got


# Our address labels by the frame's kind, and tshark's field for each.
def address_fields(function, ds):
    if function in ("PS-Poll",):
        return {"BSSID Address": "wlan.bssid", "Transmitter Address": "wlan.ta"}
    if function in ("RTS",):
        return {"Receiver Address": "wlan.ra", "Transmitter Address": "wlan.ta"}
    if function in ("CTS", "ACK"):
        return {"Receiver Address": "wlan.ra"}
    if function in ("CF-END", "CF-END+CF-ACK"):
        return {"Receiver Address": "wlan.ra", "BSSID": "wlan.bssid"}
    if ds == 3:
        return {"Receiver Address": "wlan.ra", "Transmitter Address": "wlan.ta", "Destination Address": "wlan.da",
                "Source Address": "wlan.sa"}
    return {"Destination Address": "wlan.da", "Source Address": "wlan.sa", "BSSID": "wlan.bssid"}


def first(value):
    return value.split(";")[0] if value else ""


def number(value):
    value = first(value)
    if not value:
        return None
    return int(value, 0)


COMPARED = [0]


def compare(q, t):
    """Differences between our fields q and tshark's t."""
    diffs = []

    def check(name, mine, theirs):
        if mine is None or theirs is None or theirs == "":
            return
        COMPARED[0] += 1
        if str(mine) != str(theirs):
            diffs.append("%s: quorvane %s, tshark %s" % (name, mine, theirs))

    for field, value in q["flags"].items():
        check(field, value, {"True": "1", "False": "0"}.get(first(t[field]), first(t[field])))
    if "Duration ID" in q and int(q["Duration ID"]) < 0x8000:
        check("duration", int(q["Duration ID"]), number(t["wlan.duration"]))
    ds = (1 if q["flags"].get("wlan.fc.tods") == "1" else 0) + (2 if q["flags"].get("wlan.fc.fromds") == "1" else 0)
    fields = address_fields(q.get("function"), ds)
    for label, value in q["addresses"]:
        if label in fields:
            check(label, value, first(t[fields[label]]))
    if "Fragment" in q:
        check("fragment", int(q["Fragment"].split()[-1]), number(t["wlan.frag"]))
    if "Sequence" in q:
        check("sequence", int(q["Sequence"].split()[-1]), number(t["wlan.seq"]))
    if "Reason Code" in q:
        check("reason", int(q["Reason Code"].split()[0]), number(t["wlan.fixed.reason_code"]))
    if "Status Code" in q:
        check("status", int(q["Status Code"].split()[0]), number(t["wlan.fixed.status_code"]))
    if "Algorithm" in q:
        check("algorithm", int(q["Algorithm"].split()[0]), number(t["wlan.fixed.auth.alg"]))
    if "Sequence Number" in q:
        check("auth sequence", int(q["Sequence Number"]), number(t["wlan.fixed.auth_seq"]))
    if "Listen Interval" in q:
        check("listen interval", int(q["Listen Interval"]), number(t["wlan.fixed.listen_ival"]))
    if "Association ID" in q:
        check("association id", int(q["Association ID"]) & 0x3FFF, number(t["wlan.fixed.aid"]))
    if "Time Stamp" in q:
        check("time stamp", int(q["Time Stamp"]), number(t["wlan.fixed.timestamp"]))
    if "Beacon Interval" in q:
        check("beacon interval", int(q["Beacon Interval"]), number(t["wlan.fixed.beacon"]))
    if q["capability"] is not None and t["wlan.fixed.capabilities"]:
        check("capability", q["capability"], number(t["wlan.fixed.capabilities"]) & 0xFF)
    numbers = t["wlan.tag.number"].split(";") if t["wlan.tag.number"] else []
    lengths = t["wlan.tag.length"].split(";") if t["wlan.tag.length"] else []
    for i, element in enumerate(q["elements"]):
        if i >= len(numbers):
            diffs.append("element %d: quorvane shows it, tshark does not" % i)
            break
        check("element %d length" % i, element.get("Length"), lengths[i] if i < len(lengths) else None)
        if element.get("Identity") == "SSID" and "SSID" in element and t["wlan.ssid"]:
            # tshark gives the SSID's bytes in hex, "<MISSING>" for an empty one
            ssid = first(t["wlan.ssid"])
            theirs = bytes.fromhex(ssid) if re.fullmatch(r"([0-9a-f]{2})+", ssid) else b""
            check("SSID", element["SSID"], "".join(chr(c) if 0x20 <= c < 0x7F else "." for c in theirs))
        if "Current Channel" in element:
            check("channel", element["Current Channel"], first(t["wlan.ds.current_channel"]))
        if "DTIM Count" in element:
            check("DTIM count", element["DTIM Count"], first(t["wlan.tim.dtim_count"]))
        if "DTIM Period" in element:
            check("DTIM period", element["DTIM Period"], first(t["wlan.tim.dtim_period"]))
        if "Country String" in element and t["wlan.country_info.code"]:
            check("country", element["Country String"][:2], first(t["wlan.country_info.code"]))
    if q["rates"] and t["wlan.supported_rates"]:
        theirs = [str((int(r, 0) & 0x7F) / 2) for r in t["wlan.supported_rates"].split(";")]
        check("rates", ",".join(q["rates"]), ",".join(theirs[:len(q["rates"])]))
    return diffs


def main():
    binary, captures = sys.argv[1], sys.argv[2:]
    failed = 0
    for capture in captures:
        mine, theirs = quorvane(binary, capture), tshark(capture)
        n = 0
        COMPARED[0] = 0
        for i, (q, t) in enumerate(zip(mine, theirs)):
            for d in compare(ours(q), t):
                print("%s frame %d: %s" % (capture, i + 1, d))
                n += 1
        if len(mine) != len(theirs):
            print("%s: quorvane decoded %d frames, tshark %d" % (capture, len(mine), len(theirs)))
            n += 1
        print("%s: %d frames, %d fields compared, %d differences" % (capture, len(mine), COMPARED[0], n))
        failed += n
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
