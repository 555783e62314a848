// Joining pairs in the page: the same MPO files as twinframe-cli --join, byte for byte, with its
// status texts, refusals and summary; the page accessible with the join in view.
import assert from "node:assert/strict";
import { readFileSync, readdirSync, rmSync } from "node:fs";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";

import { accessibilityProblems, allowDownloads, cliJoin, joinInPage, openFilePage, openPage, pickFiles, pressGo, sampleFolder, sha256,
    site } from "./support.mjs";

// The page's order of names: letter case ignored, ties in code order.
function byName(a, b) {
    const [x, y] = [a.toLowerCase(), b.toLowerCase()];
    if (x !== y) return x < y ? -1 : 1;
    return a < b ? -1 : a > b ? 1 : 0;
}

describe("joining pairs in the page", () => {
    let samples;
    let opened;

    before(async () => {
        samples = sampleFolder();
        opened = await openPage();
    });
    after(async () => {
        await opened?.close();
        rmSync(samples, { recursive: true, force: true });
    });

    test("joins the pairs as twinframe-cli --join does, with its texts and refusals", async () => {
        const folder = join(samples, "join");
        const names = readdirSync(folder).sort(byName);
        const shown = await joinInPage(opened.page, names.map((name) => join(folder, name)));
        const expected = cliJoin(folder, names);
        // Two pairs join; the others are refused with the core's own texts.
        assert.deepEqual([...expected.outputs.keys()], ["a.mpo", "cam.mpo"]);
        assert.equal(expected.summary, "Pairs joined: 2");
        assert.equal(expected.messages.length, 4);
        assert.deepEqual(shown.log, [...expected.messages.map((text) => [text]), [expected.summary]]);
        assert.deepEqual(new Map(shown.joined), new Map([...expected.outputs].map(([name, bytes]) => [name, sha256(bytes)])));
        for (const status of shown.statuses.slice(0, -1)) assert.ok(expected.statuses.includes(status), status);
        assert.equal(shown.focused, "a.mpo");
        assert.deepEqual(opened.errors, []);
    });

    test("names what it does not take, and a right picture alone is not a left picture", async () => {
        const folder = join(samples, "join");
        const shown = await joinInPage(opened.page, [join(samples, "mixed", "x.mpo"), join(folder, "lone-R.jpg")]);
        assert.deepEqual(shown.log, [
            ["Not joined, not a .jpg or .jpeg picture:", "x.mpo"],
            ["lone-R.jpg is not a left picture: its name must end in -L.jpg"],
            ["Pairs joined: 0"],
        ]);
        assert.deepEqual(shown.joined, []);
    });

    test("joins dropped pictures, and in the one-file page opened from the disk", async () => {
        const folder = join(samples, "join");
        const names = ["cam-L.JPEG", "cam-R.JPEG"];
        const expected = new Map([...cliJoin(folder, names).outputs].map(([name, bytes]) => [name, sha256(bytes)]));
        const dropped = await joinInPage(opened.page, names.map((name) => join(folder, name)), { drop: true });
        assert.deepEqual(new Map(dropped.joined), expected);
        const onePage = await openFilePage(join(site, "twinframe.html"));
        try {
            await onePage.page.waitForFunction(() => !document.getElementById("go").disabled);
            // Its policy lets the page fetch nothing, not even its own blobs: the file is saved.
            const shown = await joinInPage(onePage.page, names.map((name) => join(folder, name)), { bytes: false });
            assert.deepEqual(shown.joined, [["cam.mpo", null]]);
            const downloaded = await allowDownloads(onePage.page, samples);
            await onePage.page.$eval('a[download="cam.mpo"]', (link) => link.click());
            assert.deepEqual(new Map([["cam.mpo", sha256(readFileSync(await downloaded("cam.mpo")))]]), expected);
            assert.deepEqual(await onePage.page.evaluate(() => window.policyViolations), []);
            assert.deepEqual(onePage.errors, []);
        } finally {
            await onePage.close();
        }
    });

    test("is accessible with the joined files in view, its log overflowing", async () => {
        const folder = join(samples, "join");
        const others = readdirSync(join(samples, "many")).slice(0, 14).map((name) => join(samples, "many", name));
        const shown = await joinInPage(opened.page, [...others, ...["a-L.jpg", "a-R.jpg"].map((name) => join(folder, name))]);
        assert.equal(shown.log[0].length, 15, "the files left out, named in one message");
        assert.ok(await opened.page.$eval("#joinLog", (log) => log.scrollHeight > log.clientHeight), "the log overflows");
        await opened.page.evaluate(() => document.getElementById("join").scrollIntoView());
        assert.deepEqual(await accessibilityProblems(opened.page), []);
        assert.deepEqual(await opened.page.evaluate(() => window.policyViolations), []);
    });

    test("shows its messages and summary with the join, not with the batch, on a phone too", async () => {
        const { page } = opened;
        await page.setViewport({ width: 390, height: 844 });
        try {
            await pickFiles(page, [join(samples, "mixed", "DSCF0001.MPO")]);
            const split = await pressGo(page, { withLinks: false });
            const folder = join(samples, "join");
            const names = readdirSync(folder).sort(byName);
            const shown = await joinInPage(page, names.map((name) => join(folder, name)));
            assert.equal(shown.log.at(-1)[0], "Pairs joined: 2");
            const seen = await page.evaluate(() => {
                const inView = (element) => {
                    const box = element.getBoundingClientRect();
                    return box.top >= 0 && box.bottom <= innerHeight && box.height > 0;
                };
                const joinLog = document.getElementById("joinLog");
                return {
                    batchLog: [...document.getElementById("log").children].map((entry) => entry.innerText),
                    inJoinCard: document.getElementById("join").contains(joinLog),
                    summaryShown: inView(joinLog.lastElementChild),
                    focusShown: inView(document.activeElement),
                };
            });
            assert.deepEqual(seen.batchLog, [split.log.at(-1).join("\n")], "the batch's messages stay as they were");
            assert.ok(seen.inJoinCard);
            assert.ok(seen.summaryShown, "the summary is in view with the joined files");
            assert.ok(seen.focusShown);
        } finally {
            await page.setViewport({ width: 1100, height: 860 });
        }
    });
});
