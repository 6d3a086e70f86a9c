"""Every --json document the console program prints, checked against docs/morvel.schema.json
(Debian package python3-jsonschema)."""
import json
import os

import jsonschema

_SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "docs", "morvel.schema.json")
with open(_SCHEMA, encoding="utf-8") as _f:
    _VALIDATOR = jsonschema.Draft202012Validator(json.load(_f))


def check_json_output(args, stdout):
    """Raises jsonschema.ValidationError when `stdout` of a run with `args` is a --json document
    the schema refuses (a run that printed nothing, a usage error, has no document)."""
    if "--json" in args and stdout:
        _VALIDATOR.validate(json.loads(stdout))
