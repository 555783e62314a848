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
    onJoined: (output, left, right, made, pieces) => report({ type: "joined", output, left, right, made, pieces }),
    onJoinDone: (summary) => {
        sendBundle();
        postMessage({ type: "done", join: true, summary });
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

// A File the user gave is a file on the disk whose size the browser does not keep: its size, its
// date and every slice of it ask the browser's process, and wait for its answer. That was done
// several times for each file a batch split, and made thousands of small files cost the page ten
// times what they cost the command line. So the batch's files come with the sizes found when
// they were listed, and each is mounted as its File and that size (src/asyncReads.js reads a
// small file whole, with no slice).
async function runBatch(files, entries, sizes) {
    const core = await corePromise;
    const FS = core.FS;
    const blobs = [];
    const others = [];
    files.forEach((file, i) => {
        if (entries[i].selected) blobs.push({ name: entries[i].name, data: { file, size: sizes[i] ?? file.size } });
        else others.push(file);
    });
    // The page shows the bytes done of all.
    postMessage({ type: "started", sizes: blobs.map((blob) => blob.data.size) });
    core.readFilesAsynchronously(blobs.map((blob) => blob.data));
    FS.mkdir(folder);
    FS.mount(FS.filesystems.WORKERFS, { files: others, blobs }, folder);
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

// Joins the pairs among the pictures: mounted as the batch's files are, and the core works in
// their folder, so that its texts name them as the page lists them.
async function runJoin(files) {
    const core = await corePromise;
    const FS = core.FS;
    const blobs = files.map((file) => ({ name: file.name, data: { file, size: file.size } }));
    core.readFilesAsynchronously(blobs.map((blob) => blob.data));
    FS.mkdir(folder);
    FS.mount(FS.filesystems.WORKERFS, { blobs }, folder);
    FS.chdir(folder);
    try {
        core.ccall("clearFileList", null, [], []);
        for (const file of files) core.ccall("addFileEntry", null, ["string", "number"], [file.name, 1]);
        await core.ccall("runPageJoin", null, [], [], { async: true });
    } finally {
        FS.chdir("/");
        FS.unmount(folder);
        FS.rmdir(folder);
        core.readFilesAsynchronously([]);
    }
}

function failed(error) {
    sendBundle();
    postMessage({ type: "failed", text: String(error && error.message ? error.message : error) });
}

onmessage = (event) => {
    const request = event.data;
    if (request.type === "sizes") {
        postMessage({ type: "sizes", request: request.request, sizes: request.files.map((file) => file.size) });
    } else if (request.type === "speedHack") {
        speedHack = request.value;
    } else if (request.type === "stop") {
        stop = true;
    } else if (request.type === "run") {
        speedHack = request.speedHack;
        stop = false;
        started = 0;
        runBatch(request.files, request.entries, request.sizes).catch(failed);
    } else if (request.type === "join") {
        started = 0;
        runJoin(request.files).catch(failed);
    }
};

corePromise.then(() => postMessage({ type: "ready" }));
