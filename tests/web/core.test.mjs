// The page's build of the core, run under node on the real disk: the branches only Emscripten
// takes (the read and write copy, the plain block allocation) write what the native build
// writes, and the page's sink plans the same byte ranges.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { cpSync, mkdtempSync, readFileSync, readdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";

import { cliSplit, sampleFolder, sha256, webCore } from "./support.mjs";

const names = ["burst.mpo", "DSCF0001.MPO", "DSCF0002.MPO", "not-an-mpo.mpo", "single.mpo", "tiny.mpo", "x-1.mpo", "x.mpo"];

// Emscripten's output loads its .wasm with fetch under node unless told not to.
function webCli(args) {
    return execFileSync("node", ["--no-experimental-fetch", join(webCore, "twinframe-web-cli.js"), ...args], { encoding: "utf8" })
        .split("\n").filter(Boolean);
}

describe("the page's core under node", () => {
    let samples;
    before(() => {
        samples = sampleFolder();
    });
    after(() => rmSync(samples, { recursive: true, force: true }));

    test("writes the files twinframe-cli writes, with the same texts", () => {
        const folder = mkdtempSync(join(tmpdir(), "twinframe-webcli-"));
        try {
            cpSync(join(samples, "mixed"), folder, { recursive: true });
            const lines = webCli([folder, ...names]);
            const expected = cliSplit(join(samples, "mixed"), names);
            assert.deepEqual(lines.filter((l) => l.startsWith("status: ")).map((l) => l.slice(8)), expected.statuses);
            assert.deepEqual(lines.filter((l) => l.startsWith("message: ")).map((l) => l.slice(9)), expected.messages);
            assert.deepEqual(lines.at(-1), "summary: " + expected.summary.join("|"));
            const written = new Map(readdirSync(folder).filter((n) => n.endsWith(".jpg")).sort()
                .map((name) => [name, sha256(readFileSync(join(folder, name)))]));
            assert.deepEqual(written, new Map([...expected.outputs].map(([name, bytes]) => [name, sha256(bytes)])));
        } finally {
            rmSync(folder, { recursive: true, force: true });
        }
    });

    test("plans with the page's sink the byte ranges twinframe-cli writes, and writes nothing", () => {
        const folder = join(samples, "mixed");
        const lines = webCli(["--plan", folder, ...names]);
        const expected = cliSplit(folder, names);
        const planned = new Map();
        for (const line of lines.filter((l) => l.startsWith("output: "))) {
            const [name, first, last] = line.slice(8).split(" ");
            assert.ok(!planned.has(name), `${name} is planned once`);
            planned.set(name, [Number(first), Number(last)]);
        }
        const inputOf = (output) => names.find((input) => output.startsWith(input.slice(0, -4)));
        assert.deepEqual([...planned.keys()].sort(), [...expected.outputs.keys()].sort());
        for (const [name, [first, last]] of planned)
            assert.ok(readFileSync(join(folder, inputOf(name))).subarray(first, last + 1).equals(expected.outputs.get(name)), name);
        assert.deepEqual(readdirSync(folder).filter((n) => n.endsWith(".jpg")), []);
    });
});
