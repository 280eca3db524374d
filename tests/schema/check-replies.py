#!/usr/bin/python3
"""Checks the driver's reply lines against the reply schemas, one line at a time.

    check-replies.py SCHEMA_FOLDER

Reads reply lines on standard input and answers each with one line on standard output: "valid",
or "invalid: " and what is wrong. A reply whose "ok" is true is checked against
reply.schema.json, one whose "ok" is false against error-reply.schema.json; anything else is
invalid. Ends at the end of its input.
"""
import json
import os
import sys

from jsonschema import Draft202012Validator


def load(folder, name):
    with open(os.path.join(folder, name), encoding="utf-8") as source:
        schema = json.load(source)
    Draft202012Validator.check_schema(schema)
    return Draft202012Validator(schema)


def verdict(line, reply_schema, error_schema):
    try:
        reply = json.loads(line)
    except ValueError as error:
        return "invalid: not JSON (%s)" % error
    ok = reply.get("ok") if isinstance(reply, dict) else None
    if ok is True:
        validator = reply_schema
    elif ok is False:
        validator = error_schema
    else:
        return "invalid: no boolean \"ok\""
    errors = sorted(validator.iter_errors(reply), key=lambda error: list(error.absolute_path))
    if not errors:
        return "valid"
    first = errors[0]
    where = "/".join(str(part) for part in first.absolute_path) or "the reply"
    return "invalid: %s: %s" % (where, first.message)


def main():
    folder = sys.argv[1]
    reply_schema = load(folder, "reply.schema.json")
    error_schema = load(folder, "error-reply.schema.json")
    for line in sys.stdin:
        print(verdict(line, reply_schema, error_schema).replace("\n", " "), flush=True)


main()
