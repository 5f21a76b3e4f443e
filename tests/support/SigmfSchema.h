// Validation of .sigmf-meta files against the SigMF schema kept beside the
// SigMF tests, by Debian's python3-jsonschema (draft 2020-12).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Each meta's schema errors, one line each ("" when all are valid).
inline std::string SigmfSchemaErrors(const std::vector<std::string>& metas)
{
    const std::string schema = TAVIREL_TESTS_DIR "/sigmf/data/sigmf-schema-1.2.5.json";
    std::string cmd = "/usr/bin/python3 -c 'import json,sys,jsonschema\n"
                      "v=jsonschema.Draft202012Validator(json.load(open(sys.argv[1])))\n"
                      "for p in sys.argv[2:]:\n"
                      " for e in v.iter_errors(json.load(open(p))): print(p, e.message)' 2>&1 '" +
                      schema + "'";
    for (const std::string& m : metas)
        cmd += " '" + m + "'";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    return p && pclose(p) == 0 ? out : "the validator did not run: " + out;
}
