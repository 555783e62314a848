// Runs before the page's module, and also where modules never run: a copy of the page opened
// from a folder (file://), where browsers block its module, its worker and its WebAssembly. There
// the page says so, and the file picker and the drop zone stop looking as if they worked.
"use strict";

if (location.protocol === "file:" && !window.twinframeOneFile) {
    document.addEventListener("DOMContentLoaded", () => {
        document.getElementById("needsServer").hidden = false;
        document.getElementById("picker").disabled = true;
        document.getElementById("pickLabel").classList.add("disabled");
        document.getElementById("dropZone").classList.add("disabled");
    });
    // A file dropped on a page that cannot take it would be opened by the browser instead.
    for (const type of ["dragover", "drop"]) document.addEventListener(type, (event) => {
        event.preventDefault();
        if (event.dataTransfer) event.dataTransfer.dropEffect = "none";
    });
}
