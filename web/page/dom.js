// The page's elements, by their ids in index.html.

// The element of that id.
export const el = (id) => document.getElementById(id);
