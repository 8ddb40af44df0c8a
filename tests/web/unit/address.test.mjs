// The addresses the page makes, where the page is not at the site's root:
// the published site serves it under play/.
import assert from "node:assert/strict";
import test from "node:test";
import {pathToFileURL} from "node:url";

const modules = pathToFileURL(process.env.KNOLL_WEB_PAGE_BUILD + "/modules/").href;
const {restartPath, startLink} = await import(modules + "page/address.js");

test("Copy link and a restart stay on the page under play/", () => {
  const page = new URL("https://knoll.example/play/?vsync=1");
  const link = new URL(startLink(page, "maps/a.png", {fps_limit: 30}));
  assert.equal(link.origin + link.pathname, "https://knoll.example/play/");
  assert.equal(link.search, "?fps_limit=30&terrain=maps%2Fa.png");
  assert.equal(restartPath("/play/index.html", null), "/play/index.html");
  assert.equal(restartPath("/play/", "a b.png"), "/play/?terrain=a+b.png");
});
