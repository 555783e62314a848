// The page's two lists: rows only for what is in view, one Tab stop each with the arrow keys
// inside, and names cut in the middle so that what tells two of them apart shows.

export function sizeText(bytes) {
    if (bytes >= 1e9) return (bytes / 1e9).toFixed(1) + " GB";
    if (bytes >= 1e6) return (bytes / 1e6).toFixed(1) + " MB";
    if (bytes >= 1e3) return Math.round(bytes / 1e3) + " kB";
    return bytes + " B";
}

const measuring = document.createElement("canvas").getContext("2d");
const fonts = new WeakMap(); // element's list -> the font its names are drawn in

function textWidth(text, element) {
    const list = element.closest("[role=listbox], [role=grid]") ?? element;
    let font = fonts.get(list);
    if (!font) {
        font = getComputedStyle(element).font;
        fonts.set(list, font);
    }
    measuring.font = font;
    return measuring.measureText(text).width;
}

// The name as it fits in width pixels: whole, or its start and its end with an ellipsis between.
// The end is what differs between the images of one file (-L.jpg, -R.jpg, -2.jpg) and between
// a camera's numbered files, so it is kept whole: the cut takes from the start first.
export function fitName(name, width, element) {
    if (width <= 0 || textWidth(name, element) <= width) return name;
    const chars = Array.from(name); // never cuts an emoji in half
    const tailMatch = /([-_ ]?[^-_ ]*\.[^.]*)$/.exec(name);
    const mustKeep = Math.min(chars.length, Array.from(tailMatch ? tailMatch[1] : "").length + 1);
    // Keep n characters: a third at the start, the rest (and at least the end part) at the end.
    const cut = (n) => {
        const tail = Math.min(n, Math.max(mustKeep, n - Math.floor(n / 3)));
        const head = n - tail;
        return chars.slice(0, head).join("") + "…" + chars.slice(chars.length - tail).join("");
    };
    let low = 1;
    let high = chars.length - 1;
    while (low < high) {
        const middle = Math.ceil((low + high) / 2);
        if (textWidth(cut(middle), element) <= width) low = middle;
        else high = middle - 1;
    }
    return cut(low);
}

// A list that holds rows only for the items in view and a hundred on each side; its padding
// stands for the others. A row costs the page about 5 KiB, so a batch of 3,000 files with a
// row for every file and every image made the page some 70 MiB larger. Every row has the same
// height, measured on a row, so where a row is follows from its number. Each row says its place
// and the list's length (aria-posinset and aria-setsize, or aria-rowindex and aria-rowcount).
// The list is one Tab stop: it keeps the focus and names its active row (or, in a grid, cell)
// with aria-activedescendant; that row is always one of those held.
const rowsAround = 100;

export function windowedList(view, list, { idPrefix, makeRow, fitRow, dropRow, cells = false }) {
    const rows = new Map(); // item number -> its row, for the rows in the list
    let count = 0;
    let rowHeight = 32; // px, until measured
    let nameWidth = 0;
    let refit = true; // the rows were made anew: fit their names even if the width is the same
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

    function fitNames() {
        const sample = rows.values().next().value;
        const nameBox = sample?.querySelector(".name");
        if (!nameBox) return;
        // Names take the width their row leaves them (flex-basis 0), whatever their length.
        const width = nameBox.clientWidth;
        if (Math.abs(width - nameWidth) < 1 && !refit) return;
        nameWidth = width;
        refit = false;
        for (const row of rows.values()) fitRow(row, nameWidth);
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
                if (nameWidth > 0) fitRow(row, nameWidth);
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
        fitNames();
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
                refit = true;
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
