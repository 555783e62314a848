// The page's side of stereo-worker.js: a pair's side-by-side picture, made by the stereo module
// (libjpeg) in a worker that starts when the viewer first asks for one and ends when the viewer
// closes, giving back the memory the pictures took.

// The one-file page holds the worker's whole text (its module and WebAssembly inlined) in a data
// block, which the browser neither runs nor decodes until the worker is first asked for.
let inlinedWorkerUrl = null;
function workerUrl() {
    const inlined = document.getElementById("stereoWorker");
    if (!inlined) return "stereo-worker.js";
    inlinedWorkerUrl ??= URL.createObjectURL(new Blob([JSON.parse(inlined.textContent)], { type: "text/javascript" }));
    return inlinedWorkerUrl;
}

let stereoWorker = null;
let asked = 0;
const waiting = new Map(); // number of a request -> { resolve, reject }

// Said when the worker ends before it answered: the viewer was closed meanwhile.
export class StereoStopped extends Error {}

function startWorker() {
    stereoWorker = new Worker(workerUrl());
    stereoWorker.onmessage = ({ data }) => {
        const request = waiting.get(data.id);
        waiting.delete(data.id);
        if (data.failed) request?.reject(new Error(data.failed));
        else request?.resolve(data);
    };
    stereoWorker.onerror = (event) => {
        event.preventDefault();
        const problem = new Error(event.message || "the side-by-side module could not be loaded");
        endStereo(problem);
    };
}

// The side-by-side picture of a pair, each picture { blob, name } (its name for messages), the
// left picture on the left when parallel: { jpeg, problem, note } as the core made it, or
// { unreadable: "left" | "right" } when a picture's file could no longer be read.
export function sideBySide(left, right, parallel) {
    if (!stereoWorker) startWorker();
    const id = ++asked;
    return new Promise((resolve, reject) => {
        waiting.set(id, { resolve, reject });
        stereoWorker.postMessage({ id, left, right, parallel });
    });
}

// Ends the worker; what it was still making is given up (with reason, or StereoStopped).
export function endStereo(reason = new StereoStopped("stopped")) {
    stereoWorker?.terminate();
    stereoWorker = null;
    for (const request of waiting.values()) request.reject(reason);
    waiting.clear();
}
