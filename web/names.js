// A classic script: it defines pictureNames for app.js.
// Picture names as the window's batch gives them: a document's name without
// its extension ("lid.ipt" gives "lid.bmp"); when another document of the
// run already has that name, its whole name ("lid.ipt.bmp"); when that is
// taken too, a number ("lid (3).bmp"). First come, first served.
function pictureNames(documents, extension) {
    const taken = new Set();
    return documents.map(({ folder, name }) => {
        const prefix = folder ? folder + '/' : '';
        const plain = name.length > 4 ? name.slice(0, -4) : name;
        for (let n = 1; ; ++n) {
            const picture = prefix + (n === 1 ? plain : n === 2 ? name : `${plain} (${n})`) + extension;
            if (!taken.has(picture)) {
                taken.add(picture);
                return picture;
            }
        }
    });
}
