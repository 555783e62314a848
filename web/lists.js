// The page's lists: rows only for what is in view, one Tab stop each with the arrow keys inside,
// names cut in the middle so that what tells two of them apart shows; and its logs of messages.

export function sizeText(bytes) {
    if (bytes >= 1e9) return (bytes / 1e9).toFixed(1) + " GB";
    if (bytes >= 1e6) return (bytes / 1e6).toFixed(1) + " MB";
    if (bytes >= 1e3) return Math.round(bytes / 1e3) + " kB";
    return bytes + " B";
}

// A name laid out so that a long one is cut in the middle: its start gives way first (ending in
// an ellipsis, by the style sheet) and its end always shows. The end is what differs between the
// images of one file (-L.jpg, -R.jpg, -2.jpg) and between a camera's numbered files. Where the
// name first differs from the names beside it in its list (`others`) is kept too, as its middle,
// which gives way only once the start has: "IMG_…0102_1200…_eye-L.jpg". The cut is only what
// the eye sees: the whole name is one text, which is what is read out and what a copy gives,
// laid unseen over the cut one, which readers and selections leave out.
const separators = /[-_ .]/;

function sharedStart(a, b) {
    let i = 0;
    while (i < a.length && i < b.length && a[i] === b[i]) ++i;
    return i;
}

export function fillName(element, name, others = []) {
    const chars = Array.from(name); // never cuts an emoji in half
    const end = /([-_ ]?[^-_ ]*\.[^.]*)$/.exec(name);
    const tailStart = chars.length - Math.min(chars.length, Math.max(10, Array.from(end ? end[1] : "").length + 1));
    // The first place where the name differs from one beside it, from the start of its word (or
    // a few characters before it, in a long word). A difference in the first character shows
    // anyway.
    let differs = chars.length;
    for (const other of others) {
        const at = other == null ? 0 : sharedStart(chars, Array.from(other));
        if (at > 0) differs = Math.min(differs, at);
    }
    let middleStart = differs;
    while (middleStart > 0 && !separators.test(chars[middleStart - 1])) --middleStart;
    middleStart = Math.max(middleStart, differs - 10);
    const part = (className, from, to) => {
        const span = document.createElement("span");
        span.className = className;
        span.textContent = chars.slice(from, to).join("");
        return span;
    };
    const whole = document.createElement("span");
    whole.className = "whole";
    whole.textContent = name;
    const cut = document.createElement("span");
    cut.className = "cut";
    cut.setAttribute("aria-hidden", "true");
    if (middleStart > 0 && middleStart < tailStart) {
        cut.classList.add("with-middle");
        cut.append(part("head", 0, middleStart), part("middle", middleStart, tailStart), part("tail", tailStart));
    } else {
        cut.append(part("head", 0, tailStart), part("tail", tailStart));
    }
    element.classList.add("name");
    element.append(whole, cut);
    return element;
}

// A list that holds rows only for the items in view and a hundred on each side; its padding
// stands for the others. A row costs the page about 5 KiB, so a batch of 3,000 files with a
// row for every file and every image made the page some 70 MiB larger. Every row has the same
// height, measured on a row, so where a row is follows from its number. Each row says its place
// and the list's length (aria-posinset and aria-setsize, or aria-rowindex and aria-rowcount).
// The list is one Tab stop: it keeps the focus and names its active row (or, in a grid, cell)
// with aria-activedescendant, brought into view by the keys (scrolled far off by other means, it
// is named again when a key brings it back).
const rowsAround = 100;

export function windowedList(view, list, { idPrefix, makeRow, dropRow, cells = false }) {
    const rows = new Map(); // item number -> its row, for the rows in the list
    let count = 0;
    let rowHeight = 32; // px, until measured
    let active = -1;
    let activeColumn = 0;
    const place = cells ? ["aria-rowindex", "aria-rowcount"] : ["aria-posinset", "aria-setsize"];

    function activeElement(row) {
        if (!cells) return row;
        const cellsOfRow = row.querySelectorAll("[role=gridcell]");
        return cellsOfRow[Math.min(activeColumn, cellsOfRow.length - 1)];
    }

    function markActive() {
        for (const marked of list.querySelectorAll(".active")) marked.classList.remove("active");
        const row = rows.get(active);
        if (!row) {
            list.removeAttribute("aria-activedescendant");
            return;
        }
        const element = activeElement(row);
        element.classList.add("active");
        list.setAttribute("aria-activedescendant", element.id);
    }

    function show(height = rowHeight) {
        const top = view.scrollTop;
        const first = Math.max(0, Math.min(count, Math.floor(top / height) - rowsAround));
        const end = Math.min(count, Math.ceil((top + view.clientHeight) / height) + rowsAround);
        // The padding first: were the list shorter for a moment, the browser would scroll it back.
        list.style.paddingTop = first * height + "px";
        list.style.paddingBottom = Math.max(0, count - end) * height + "px";
        for (const [index, row] of rows) {
            if (index < first || index >= end) {
                dropRow?.(row);
                row.remove();
                rows.delete(index);
            }
        }
        let next = null;
        for (let index = end - 1; index >= first; --index) {
            let row = rows.get(index);
            if (!row) {
                row = makeRow(index);
                row.setAttribute(place[0], String(index + 1));
                if (cells) row.querySelectorAll("[role=gridcell]").forEach((cell, column) => {
                    cell.id = `${idPrefix}${index}-${column}`;
                });
                else row.id = idPrefix + index;
                rows.set(index, row);
                list.insertBefore(row, next);
            }
            if (!cells) row.setAttribute(place[1], String(count));
            next = row;
        }
        if (cells) list.setAttribute("aria-rowcount", String(count));
        // Rows are as high as the text and the page's zoom make them.
        const measured = next ? next.getBoundingClientRect().height : 0;
        if (measured > 0 && Math.abs(measured - height) > 0.5) {
            rowHeight = measured;
            show(measured);
            return;
        }
        markActive();
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
    new ResizeObserver(() => show()).observe(view);

    // Brings item index into view (and so among the rows held) and makes it the active one.
    function setActive(index) {
        if (count === 0) return;
        active = Math.max(0, Math.min(count - 1, index));
        const rowTop = active * rowHeight;
        if (rowTop < view.scrollTop) view.scrollTop = rowTop;
        else if (rowTop + rowHeight > view.scrollTop + view.clientHeight)
            view.scrollTop = rowTop + rowHeight - view.clientHeight;
        show();
    }

    // The focus comes to the list: its active row, or the first, shows as active.
    list.addEventListener("focus", () => {
        if (active < 0 && count > 0) setActive(0);
        else markActive();
    });

    list.addEventListener("mousedown", (event) => {
        const row = event.target.closest("[aria-posinset], [aria-rowindex]");
        if (!row || row === list) return;
        const cell = event.target.closest("[role=gridcell]");
        if (cell) activeColumn = [...row.querySelectorAll("[role=gridcell]")].indexOf(cell);
        setActive(Number(row.getAttribute(place[0])) - 1);
    });

    return {
        // The items are now `newCount`; with `remake`, those already shown have changed too.
        update(newCount, remake = false) {
            count = newCount;
            if (remake) {
                for (const row of rows.values()) dropRow?.(row);
                rows.clear();
                list.replaceChildren();
                if (active >= count) active = count - 1;
            }
            show();
        },
        rowOf: (index) => rows.get(index),
        active: () => active,
        setActive,
        activeCell: () => (rows.has(active) ? activeElement(rows.get(active)) : null),
        // Moves the active row (or cell) for the keys a listbox or a grid takes; says whether
        // the key was one of them.
        moveByKey(event) {
            if (event.altKey || count === 0) return false;
            const page = Math.max(1, Math.floor(view.clientHeight / rowHeight) - 1);
            const moves = { ArrowDown: active + 1, ArrowUp: active - 1, PageDown: active + page,
                PageUp: active - page, Home: 0, End: count - 1 };
            if (cells && (event.key === "ArrowLeft" || event.key === "ArrowRight")) {
                const row = rows.get(active);
                const last = row ? row.querySelectorAll("[role=gridcell]").length - 1 : 0;
                activeColumn = Math.max(0, Math.min(last, activeColumn + (event.key === "ArrowLeft" ? -1 : 1)));
                event.preventDefault();
                markActive();
                return true;
            }
            if (!(event.key in moves)) return false;
            event.preventDefault();
            setActive(active < 0 ? 0 : moves[event.key]);
            return true;
        },
    };
}

// A log of messages: every entry is kept, and can be saved as text, but only the newest
// `shownEntries` are in the page, above them a count of the others; the entries that come are
// written once a frame, with one layout for all of them. An entry in the page for every message,
// each laid out as it came, froze the page for seconds over a few thousand messages and grew it
// by a hundred MiB.
const shownEntries = 200;

export function messageLog(log, { fileName }) {
    let entries = []; // { lines, className }, every entry since the log was last cleared
    let pending = []; // those not yet written into the page
    let framePending = false;

    const earlier = document.createElement("p");
    earlier.className = "hint earlier";
    earlier.hidden = true;
    const earlierText = document.createElement("span");
    const save = document.createElement("button");
    save.type = "button";
    save.textContent = "Save all messages as text";
    earlier.append(earlierText, " ", save);
    log.before(earlier);

    save.addEventListener("click", () => {
        const link = document.createElement("a");
        link.download = fileName;
        link.href = URL.createObjectURL(new Blob([text()], { type: "text/plain" }));
        link.click();
        setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
    });

    // The whole log as text: an entry a line, its further lines indented.
    const text = () => entries.map(({ lines }) => lines.join("\n    ") + "\n").join("");

    function entryElement({ lines, className }) {
        const entry = document.createElement("p");
        if (className) entry.className = className;
        lines.forEach((line, i) => {
            if (i > 0) entry.append(document.createElement("br"));
            entry.append(line);
        });
        return entry;
    }

    function write() {
        framePending = false;
        if (pending.length === 0) return;
        const written = new DocumentFragment();
        for (const entry of pending.slice(-shownEntries)) written.append(entryElement(entry));
        pending = [];
        log.append(written);
        for (let over = log.childElementCount - shownEntries; over > 0; --over) log.firstElementChild.remove();
        const notShown = entries.length - log.childElementCount;
        earlier.hidden = notShown <= 0;
        earlierText.textContent = notShown === 1 ? "1 earlier message is not shown here."
            : `${notShown.toLocaleString("en-US")} earlier messages are not shown here.`;
        // The log keeps a bounded height: its newest entry is the one in view.
        log.scrollTop = log.scrollHeight;
    }

    return {
        add(lines, className = "") {
            const entry = { lines, className };
            entries.push(entry);
            pending.push(entry);
            if (!framePending) {
                framePending = true;
                requestAnimationFrame(write);
            }
        },
        // Writes now what waits for the next frame: at the end of a batch, before the focus
        // moves on.
        flush: write,
        clear() {
            entries = [];
            pending = [];
            log.replaceChildren();
            earlier.hidden = true;
        },
        text,
        element: log,
    };
}
