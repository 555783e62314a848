// The joining of pairs on the page's side: which files it takes, and each joined MPO file as a
// Blob made of the bytes the core's join made and slices of the two pictures, so that the
// pictures' bytes are never copied into the page before the browser saves the file.

const pictureExtension = /\.jpe?g$/i;

// The files a join is given: pictures by their extension (.jpg or .jpeg, in any case). Others
// are named and left out, as the list of MPO files does with what it cannot take.
export const isPicture = (name) => pictureExtension.test(name) && !name.startsWith(".");

const sources = ["made", "left", "right"];

// The joined file of the core's plan: pieces as (source, first, end) triples over the made
// bytes, the left File and the right File.
export function joinedBlob(made, pieces, left, right) {
    const parts = [];
    for (let i = 0; i < pieces.length; i += 3) {
        const [source, first, end] = [sources[pieces[i]], pieces[i + 1], pieces[i + 2]];
        if (source === "made") parts.push(made.subarray(first, end));
        else parts.push((source === "left" ? left : right).slice(first, end));
    }
    return new Blob(parts, { type: "image/x-mpo" });
}
