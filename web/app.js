// The page: the file list, the batch controls and the outputs. The batch itself runs in
// worker.js; this side only shows what the core reports and cuts each output from its File.
const idleText = "twinframe.example.org";
const zipName = "twinframe-images.zip";

const $ = (id) => document.getElementById(id);
const picker = $("picker");
const fileList = $("fileList");
const listHint = $("listHint");
const clearList = $("clearList");
const speedHack = $("speedHack");
const go = $("go");
const stop = $("stop");
const status = $("status");
const log = $("log");
const outputsList = $("outputs");
const saveAll = $("saveAll");
const saveNote = $("saveNote");

// name -> { file, selected }. Like a folder, the list holds one file of each name: a file
// added under a name already listed takes that entry's place.
const listed = new Map();
let outputs = []; // { name, file, first, last, url } of the last batch, in the order written
let busy = false;

const isMpo = (name) => name.toLowerCase().endsWith(".mpo") && !name.startsWith(".");

// Names in the order the window lists a folder: letter case ignored, ties in code order.
function byName(a, b) {
    const x = a.toLowerCase();
    const y = b.toLowerCase();
    if (x !== y) return x < y ? -1 : 1;
    return a < b ? -1 : a > b ? 1 : 0;
}

function sizeText(bytes) {
    if (bytes >= 1e6) return (bytes / 1e6).toFixed(1) + " MB";
    if (bytes >= 1e3) return Math.round(bytes / 1e3) + " kB";
    return bytes + " B";
}

// A list that holds rows only for the items in view and a hundred on each side; its padding
// stands for the others. A row costs the page about 5 KiB, so a batch of 3,000 files with a
// row for every file and every image made the page some 70 MiB larger. Every row has the same
// height, measured on a row, so where a row is follows from its number. Each row says its place
// and the list's length (aria-posinset, aria-setsize).
const rowsAround = 100;

function windowedList(view, list, makeRow) {
    const rows = new Map(); // item number -> its row, for the rows in the list
    let count = 0;
    let rowHeight = 32; // px, until measured

    function show(height = rowHeight) {
        const top = view.scrollTop;
        const first = Math.max(0, Math.min(count, Math.floor(top / height) - rowsAround));
        const end = Math.min(count, Math.ceil((top + view.clientHeight) / height) + rowsAround);
        // The padding first: were the list shorter for a moment, the browser would scroll it back.
        list.style.paddingTop = first * height + "px";
        list.style.paddingBottom = Math.max(0, count - end) * height + "px";
        for (const [index, row] of rows) {
            if (index < first || index >= end) {
                row.remove();
                rows.delete(index);
            }
        }
        let next = null;
        for (let index = end - 1; index >= first; --index) {
            let row = rows.get(index);
            if (!row) {
                row = makeRow(index);
                row.setAttribute("aria-posinset", String(index + 1));
                rows.set(index, row);
                list.insertBefore(row, next);
            }
            row.setAttribute("aria-setsize", String(count));
            next = row;
        }
        // Rows are as high as the text and the page's zoom make them.
        const measured = next ? next.getBoundingClientRect().height : 0;
        if (measured > 0 && Math.abs(measured - height) > 0.5) {
            rowHeight = measured;
            show(measured);
        }
    }

    let showPending = false;
    view.addEventListener("scroll", () => {
        if (showPending) return;
        showPending = true;
        requestAnimationFrame(() => {
            showPending = false;
            show();
        });
    }, { passive: true });

    return {
        // The items are now `newCount`; with `remake`, those already shown have changed too.
        update(newCount, remake = false) {
            count = newCount;
            if (remake) {
                rows.clear();
                list.replaceChildren();
            }
            show();
        },
    };
}

let shownNames = []; // the listed names, in the list's order: the batch's order too

const fileRows = windowedList($("fileListView"), fileList, (index) => {
    const name = shownNames[index];
    const entry = listed.get(name);
    const box = document.createElement("input");
    box.type = "checkbox";
    box.checked = entry.selected;
    box.disabled = busy;
    box.addEventListener("change", () => {
        entry.selected = box.checked;
    });
    const nameText = document.createElement("span");
    nameText.className = "name";
    nameText.title = name;
    nameText.textContent = name;
    const size = document.createElement("span");
    size.className = "size";
    size.textContent = sizeText(entry.file.size);
    const label = document.createElement("label");
    label.append(box, nameText, size);
    const item = document.createElement("li");
    item.append(label);
    return item;
});

function renderList() {
    shownNames = [...listed.keys()].sort(byName);
    fileRows.update(shownNames.length, true);
    listHint.hidden = listed.size > 0;
    clearList.hidden = listed.size === 0;
    lockControls();
}

// What can be changed while a batch runs: nothing in the list. The list itself is left as it
// is: rows made meanwhile are made locked.
function lockControls() {
    for (const box of fileList.querySelectorAll("input[type=checkbox]")) box.disabled = busy;
    clearList.disabled = busy;
    go.disabled = busy || !workerReady;
}

function addFiles(files) {
    for (const file of files) {
        if (isMpo(file.name)) listed.set(file.name, { file, selected: true });
    }
    renderList();
}

clearList.addEventListener("click", () => {
    listed.clear();
    renderList();
});

picker.addEventListener("change", () => {
    addFiles(picker.files);
    picker.value = "";
});

// Dropped folders are walked for their .mpo files; dropped files are taken as they are.
async function filesOfEntry(entry) {
    if (entry.isFile) return [await new Promise((resolve, reject) => entry.file(resolve, reject))];
    if (!entry.isDirectory) return [];
    const reader = entry.createReader();
    const found = [];
    for (;;) {
        const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (batch.length === 0) return found;
        for (const child of batch) if (child.isDirectory || isMpo(child.name)) found.push(...(await filesOfEntry(child)));
    }
}

document.addEventListener("dragover", (event) => {
    event.preventDefault();
    event.dataTransfer.dropEffect = busy ? "none" : "copy";
    document.body.classList.add("dragging");
});
document.addEventListener("dragleave", (event) => {
    if (!event.relatedTarget) document.body.classList.remove("dragging");
});
document.addEventListener("drop", async (event) => {
    event.preventDefault();
    document.body.classList.remove("dragging");
    if (busy) return;
    const entries = [...event.dataTransfer.items]
        .map((item) => (item.webkitGetAsEntry ? item.webkitGetAsEntry() : null));
    if (entries.every((entry) => entry)) {
        const files = [];
        for (const entry of entries) files.push(...(await filesOfEntry(entry)));
        addFiles(files);
    } else {
        addFiles(event.dataTransfer.files);
    }
});

// The batch.
const worker = new Worker("worker.js");
let workerReady = false;

function setBusy(value) {
    busy = value;
    picker.disabled = value;
    saveAll.disabled = value || outputs.length === 0;
    stop.hidden = !value;
    stop.disabled = false;
    document.body.setAttribute("aria-busy", String(value));
    lockControls();
}

function addLogEntry(lines, className) {
    const entry = document.createElement("p");
    if (className) entry.className = className;
    lines.forEach((line, i) => {
        if (i > 0) entry.append(document.createElement("br"));
        entry.append(line);
    });
    log.append(entry);
}

function clearOutputs() {
    for (const output of outputs) if (output.url) URL.revokeObjectURL(output.url);
    outputs = [];
    outputRows.update(0, true);
    saveNote.textContent = "";
}

// An output's bytes: a view of the original file, nothing copied until the browser saves them.
const blobOf = (output) => output.file.slice(output.first, output.last + 1, "image/jpeg");

// A link gets its object URL when it is first reached (pointed at, focused, touched, opened),
// not when the batch makes it: making hundreds of them during a batch cost the browser about
// as much as the batch's own reads of the files.
function linkUp(link) {
    const output = outputs[Number(link.dataset.output)];
    if (!output || output.url) return;
    output.url = URL.createObjectURL(blobOf(output));
    link.href = output.url;
}
for (const type of ["pointerover", "focusin", "contextmenu", "click", "auxclick", "dragstart"]) {
    outputsList.addEventListener(type, (event) => {
        const link = event.target.closest && event.target.closest("a[download]");
        if (link) linkUp(link);
    }, true);
}

const outputRows = windowedList($("outputsView"), outputsList, (index) => {
    const output = outputs[index];
    const link = document.createElement("a");
    link.href = "#" + encodeURIComponent(output.name); // until it is reached: see linkUp
    link.dataset.output = String(index);
    link.download = output.name;
    link.title = output.name;
    link.textContent = output.name;
    const size = document.createElement("span");
    size.className = "size";
    size.textContent = sizeText(output.last - output.first + 1);
    const row = document.createElement("li");
    row.append(link, size);
    return row;
});

function addOutput(inputName, name, first, last) {
    outputs.push({ name, file: listed.get(inputName).file, first, last, url: null });
}

worker.onmessage = (event) => {
    const report = event.data;
    switch (report.type) {
    case "ready":
        workerReady = true;
        lockControls();
        break;
    case "reports":
        for (const item of report.reports) {
            if (item.type === "message") addLogEntry([item.text]);
            else addOutput(item.input, item.name, item.first, item.last);
        }
        outputRows.update(outputs.length);
        if (report.status !== null) status.textContent = report.status;
        break;
    case "done":
    case "failed":
        status.textContent = idleText;
        setBusy(false);
        if (report.type === "failed") addLogEntry([report.text]);
        // The core separates the summary's lines with a carriage return.
        else if (report.summary) addLogEntry(report.summary.split("\r"), "summary");
        document.dispatchEvent(new CustomEvent("twinframe-batch-done"));
        break;
    }
};
worker.onerror = (event) => {
    addLogEntry(["The splitting core could not start: " + (event.message || "unknown error")]);
};

go.addEventListener("click", () => {
    if (busy || !workerReady) return;
    clearOutputs();
    log.replaceChildren();
    setBusy(true);
    worker.postMessage({
        type: "run",
        files: shownNames.map((name) => listed.get(name).file),
        entries: shownNames.map((name) => ({ name, selected: listed.get(name).selected })),
        speedHack: speedHack.checked,
    });
});

// The batch stops between two files: the one being split is finished first.
stop.addEventListener("click", () => {
    stop.disabled = true;
    worker.postMessage({ type: "stop" });
});

// The batch asks for the speed hack before each file; the worker always knows the box's state.
speedHack.addEventListener("change", () => worker.postMessage({ type: "speedHack", value: speedHack.checked }));

// Save all: into a folder the user picks where the browser can write one (the browser writes
// each file aside and puts it in place when complete, replacing a file of the same name from an
// earlier run; the batch never gave two outputs the same name), elsewhere as one .zip.
async function saveToFolder() {
    let folder;
    try {
        folder = await window.showDirectoryPicker({ id: "twinframe", mode: "readwrite" });
    } catch (error) {
        if (error.name === "AbortError") return;
        throw error;
    }
    let saved = 0;
    for (const output of outputs) {
        try {
            const handle = await folder.getFileHandle(output.name, { create: true });
            const writable = await handle.createWritable();
            await blobOf(output).stream().pipeTo(writable);
            ++saved;
        } catch (error) {
            addLogEntry([`Cannot write ${output.name}: ${error.message}`]);
        }
    }
    saveNote.textContent = `Saved ${saved} of ${outputs.length} images in ${folder.name}.`;
}

// Stored, not compressed (JPEG data does not shrink); each output is streamed from its File and
// the archive is kept as blobs, which the browser may hold on disk.
async function zipBlob(items) {
    const { Zip, ZipPassThrough } = await import("./vendor/fflate.js");
    const parts = [];
    let pending = [];
    let failure = null;
    const zip = new Zip((error, chunk) => {
        if (error) failure = error;
        else pending.push(chunk);
    });
    const flush = () => {
        parts.push(new Blob(pending));
        pending = [];
    };
    for (const item of items) {
        const entry = new ZipPassThrough(item.name);
        zip.add(entry);
        const reader = blobOf(item).stream().getReader();
        for (;;) {
            const { done, value } = await reader.read();
            if (done) break;
            entry.push(value);
        }
        entry.push(new Uint8Array(0), true);
        flush();
    }
    zip.end();
    flush();
    if (failure) throw failure;
    return new Blob(parts, { type: "application/zip" });
}

async function saveAsZip() {
    saveNote.textContent = "Making " + zipName + "...";
    const archive = await zipBlob(outputs);
    const url = URL.createObjectURL(archive);
    const link = document.createElement("a");
    link.href = url;
    link.download = zipName;
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 60_000);
    saveNote.textContent = `${zipName}: ${outputs.length} images, ${sizeText(archive.size)}.`;
}

saveAll.addEventListener("click", async () => {
    saveAll.disabled = true;
    try {
        if ("showDirectoryPicker" in window) await saveToFolder();
        else await saveAsZip();
    } catch (error) {
        saveNote.textContent = "Save all failed: " + error.message;
    } finally {
        saveAll.disabled = busy || outputs.length === 0;
        document.dispatchEvent(new CustomEvent("twinframe-save-done"));
    }
});

renderList();
