#!/usr/bin/env python3
"""Writes the exchanges of a VCR cassette (YAML, recorded by the `wayback` Python client against
web.archive.org) for the loopback archive of the tests: for each exchange its request URI, status,
header count, header names and values, and body as sent, each value as its length in decimal, a line
end and its bytes."""
import sys

import yaml


def main(cassette, out):
    with open(cassette, encoding="utf-8") as file:
        recording = yaml.safe_load(file)  # !!binary bodies come as bytes
    with open(out, "wb") as frames:
        def put(value):
            data = value if isinstance(value, bytes) else str(value).encode("utf-8")
            frames.write(b"%d\n" % len(data) + data)

        for exchange in recording["interactions"]:
            response = exchange["response"]
            headers = [(name, value) for name, values in response["headers"].items() for value in values]
            put(exchange["request"]["uri"])
            put(response["status"]["code"])
            put(len(headers))
            for name, value in headers:
                put(name)
                put(value)
            put(response["body"]["string"])


if __name__ == "__main__":
    main(*sys.argv[1:])
