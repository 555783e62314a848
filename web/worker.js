// Runs the splitting core off the page's thread, so the page stays responsive during a batch.
// The page's File objects are mounted read-only (WORKERFS): the core reads only the blocks its
// scan needs, in place. Nothing is written: each output comes back as a byte range, and the page
// cuts it from the original File. Each read is a round trip to the browser process, which is
// most of a batch's time: src/asyncReads.js reads ahead what it can.
"use strict";

// The one-file page puts the core's script ahead of this one and hands over its WebAssembly.
if (typeof createTwinframeCore === "undefined") importScripts("twinframe-core.js");

const folder = "/batch";
// The state of the page's check box: the page sends it with each batch and whenever it changes.
let speedHack = false;
let stop = false; // the page's Stop was pressed during this batch

// What the core reports goes to the page in bundles, a few times a second: a message to the
// page for every status text and output slowed the batch down by half, as the page's thread
// and the worker's reads compete for the same processors. Messages and outputs keep their
// order; of the status texts that came meanwhile only the newest is shown, as in the window.
const bundleInterval = 50; // ms
let reports = [];
let latestStatus = null;
let bundleTimer = null;
let started = 0; // the files of this batch the core has begun: the page's progress

function sendBundle() {
    clearTimeout(bundleTimer);
    bundleTimer = null;
    if (reports.length === 0 && latestStatus === null && started === 0) return;
    postMessage({ type: "reports", reports, status: latestStatus, started });
    reports = [];
    latestStatus = null;
}

function report(item) {
    if (item.type === "status") latestStatus = item.text;
    else reports.push(item);
    bundleTimer ??= setTimeout(sendBundle, bundleInterval);
}

const corePromise = createTwinframeCore({
    ...(self.twinframeWasm ? { wasmBinary: self.twinframeWasm } : {}),
    onStatus: (text) => report({ type: "status", text }),
    onMessage: (text) => report({ type: "message", text }),
    onOutput: (input, name, first, last) => report({ type: "output", input, name, first, last }),
    onDone: (selectedCount, totalImages, summary) => {
        sendBundle();
        postMessage({ type: "done", selectedCount, totalImages, summary });
    },
    stopRequested: () => stop,
    // Asked before each file: the check box as the page last told it. Its asking also tells
    // that the file before is done.
    askSpeedHack: () => {
        ++started;
        bundleTimer ??= setTimeout(sendBundle, bundleInterval);
        return speedHack;
    },
});

async function runBatch(files, entries) {
    const core = await corePromise;
    const FS = core.FS;
    core.readFilesAsynchronously(files.filter((file, i) => entries[i].selected));
    FS.mkdir(folder);
    FS.mount(FS.filesystems.WORKERFS, { files }, folder);
    try {
        core.ccall("clearFileList", null, [], []);
        for (const entry of entries)
            core.ccall("addFileEntry", null, ["string", "number"], [entry.name, entry.selected ? 1 : 0]);
        await core.ccall("runPageBatch", null, ["string"], [folder], { async: true });
    } finally {
        FS.unmount(folder);
        FS.rmdir(folder);
        core.readFilesAsynchronously([]); // lets this batch's File objects go
    }
}

onmessage = (event) => {
    const request = event.data;
    if (request.type === "speedHack") {
        speedHack = request.value;
    } else if (request.type === "stop") {
        stop = true;
    } else if (request.type === "run") {
        speedHack = request.speedHack;
        stop = false;
        started = 0;
        runBatch(request.files, request.entries).catch((error) => {
            sendBundle();
            postMessage({ type: "failed", text: String(error && error.message ? error.message : error) });
        });
    }
};

corePromise.then(() => postMessage({ type: "ready" }));
