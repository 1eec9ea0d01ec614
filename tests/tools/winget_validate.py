#!/usr/bin/env python3
"""Validates the three manifests of quro-pack winget against Microsoft's
schemas (data/winget/) and prints them as one JSON document for the test.
   winget_validate.py SCHEMAS FOLDER ID"""
import json, sys
import jsonschema, yaml

schemas, folder, package = sys.argv[1:4]
found, errors = {}, []
for kind, name in (("version", ""), ("defaultLocale", ".locale.en-US"), ("installer", ".installer")):
    with open(f"{schemas}/manifest.{kind}.1.28.0.json", encoding="utf-8") as f:
        schema = json.load(f)
    with open(f"{folder}/{package}{name}.yaml", encoding="utf-8") as f:
        text = f.read()
    document = yaml.safe_load(text)
    errors += [f"{kind}: {e.json_path}: {e.message}" for e in jsonschema.Draft7Validator(schema).iter_errors(document)]
    # The schema takes any version number and has no say on the file's first line.
    if document.get("ManifestVersion") != schema["properties"]["ManifestVersion"]["default"]:
        errors.append(f"{kind}: ManifestVersion {document.get('ManifestVersion')}")
    if not text.startswith(f"# yaml-language-server: $schema={schema['$id']}\n"):
        errors.append(f"{kind}: the first line does not name {schema['$id']}")
    found[kind] = document
print("\n".join(errors), file=sys.stderr)
print(json.dumps(found))
sys.exit(1 if errors else 0)
