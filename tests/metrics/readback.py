#!/usr/bin/python3
"""Reads back what the monitor wrote with parsers that owe nothing to it, and
prints what they found flat, one value per line, for the C++ tests to compare.

  readback.py exposition FILE
      The metrics text through prometheus_client's parser:
        family<TAB>NAME<TAB>TYPE<TAB>HELP-hex
        sample<TAB>NAME<TAB>key=hex,key=hex<TAB>VALUE
  readback.py json FILE
      A JSON document through the json module (strict: no NaN, no raw
      control characters):
        PATH<TAB>s:hex | n:NUMBER | b:true | b:false | null

Text values are printed as the hex of their UTF-8 bytes, so nothing in them
can break a line. The file must be valid UTF-8; anything that fails to parse
ends the script with exit code 1 and the reason on standard error.
"""
import json
import math
import sys


def hexed(text):
    return text.encode("utf-8").hex()


def number(value):
    if isinstance(value, float) and math.isnan(value):
        return "nan"
    return repr(value)


def exposition(text):
    from prometheus_client.parser import text_string_to_metric_families

    for family in text_string_to_metric_families(text):
        print("family\t%s\t%s\t%s" % (family.name, family.type, hexed(family.documentation)))
        for sample in family.samples:
            labels = ",".join("%s=%s" % (k, hexed(v)) for k, v in sorted(sample.labels.items()))
            if sample.timestamp is not None:
                raise ValueError("sample %s carries a time stamp" % sample.name)
            print("sample\t%s\t%s\t%s" % (sample.name, labels, number(sample.value)))


def flatten(path, value):
    if isinstance(value, dict):
        for key, item in value.items():
            flatten(path + [key], item)
    elif isinstance(value, list):
        print("%s\tlength:%d" % (".".join(path), len(value)))
        for index, item in enumerate(value):
            flatten(path + [str(index)], item)
    else:
        key = ".".join(path)
        if value is None:
            print("%s\tnull" % key)
        elif isinstance(value, bool):
            print("%s\tb:%s" % (key, "true" if value else "false"))
        elif isinstance(value, str):
            print("%s\ts:%s" % (key, hexed(value)))
        else:
            print("%s\tn:%s" % (key, number(value)))


def reject_constant(name):
    raise ValueError("not JSON: %s" % name)


def main():
    mode, path = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        text = f.read().decode("utf-8")  # strict: invalid UTF-8 fails here
    if mode == "exposition":
        exposition(text)
    elif mode == "json":
        flatten([], json.loads(text, parse_constant=reject_constant))
    else:
        raise ValueError("unknown mode %s" % mode)


if __name__ == "__main__":
    try:
        main()
    except Exception as error:  # any parse failure is the test's failure
        print("readback: %s: %s" % (type(error).__name__, error), file=sys.stderr)
        sys.exit(1)
