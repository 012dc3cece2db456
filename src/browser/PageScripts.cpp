#include "PageScripts.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// DOM accessors are taken from the prototypes, not the objects: a page's
// <img name="body"> or <input name="firstChild"> would otherwise shadow them.
const char AccessorsScript[] = R"JS(
    var getter = function (proto, name) {
        return Object.getOwnPropertyDescriptor(proto, name).get;
    };
    var bodyOf = getter(Document.prototype, 'body');
    var firstChild = getter(Node.prototype, 'firstChild');
    var nextSibling = getter(Node.prototype, 'nextSibling');
    var nodeType = getter(Node.prototype, 'nodeType');
    var tagNameOf = getter(Element.prototype, 'tagName');
    var attributesOf = getter(Element.prototype, 'attributes');
    var dataOf = getter(CharacterData.prototype, 'data');
    var innerTextOf = getter(HTMLElement.prototype, 'innerText');
    var textContentOf = getter(Node.prototype, 'textContent');
    var characterSetOf = getter(Document.prototype, 'characterSet');
    var textOf = function (el) {
        return el instanceof HTMLElement ? innerTextOf.call(el) : textContentOf.call(el);
    };
)JS";

// Serializes the body the way the scraper's needles expect: upper-case tag
// names, double-quoted attributes, no end tags for void elements.
const char SnapshotScript[] = R"JS(
    var VOID = {AREA: 1, BASE: 1, BR: 1, COL: 1, EMBED: 1, HR: 1, IMG: 1, INPUT: 1,
                LINK: 1, META: 1, PARAM: 1, SOURCE: 1, TRACK: 1, WBR: 1};
    var escapeText = function (s) {
        return s.replace(/&/g, '&amp;').replace(/</g, '&lt;')
                .replace(/>/g, '&gt;').replace(/\u00a0/g, '&nbsp;');
    };
    // "<" and ">" too, as browsers now write them: a ">" in a title would
    // end its tag for whoever reads the markup.
    var escapeAttr = function (s) {
        return s.replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
    };
    var walk = function (parent, raw, out) {
        for (var n = firstChild.call(parent); n; n = nextSibling.call(n)) {
            var type = nodeType.call(n);
            if (type === 1) {
                var tag = String(tagNameOf.call(n)).toUpperCase();
                out.push('<', tag);
                var attrs = attributesOf.call(n);
                for (var i = 0; i < attrs.length; i++)
                    out.push(' ', attrs[i].name, '="', escapeAttr(attrs[i].value), '"');
                out.push('>');
                if (!VOID.hasOwnProperty(tag)) {
                    walk(n, tag === 'SCRIPT' || tag === 'STYLE', out);
                    out.push('</', tag, '>');
                }
            } else if (type === 3) {
                var data = dataOf.call(n);
                out.push(raw ? data : escapeText(data));
            } else if (type === 8) {
                out.push('<!--', dataOf.call(n), '-->');
            }
        }
    };
    var charset = String(characterSetOf.call(document));
    var body = bodyOf.call(document);
    if (!body)
        return {text: '', html: '', charset: charset};
    var out = [];
    walk(body, false, out);
    return {text: String(textOf(body)), html: out.join(''), charset: charset};
)JS";

// The collection and its length are read once; every match is clicked, so a
// nested table is clicked after the table around it.
const char ClickByTextScript[] = R"JS(
    var byTag = Document.prototype.getElementsByTagName;
    var click = HTMLElement.prototype.click;
    var list = byTag.call(document, args[0]);
    var needle = args[1];
    var length = list.length;
    var clicked = 0;
    for (var i = 0; i < length; i++) {
        var el = list[i];
        if (!el)
            continue;
        var text = String(textOf(el));
        if (text.indexOf(needle) !== -1) {
            if (el instanceof HTMLElement)
                click.call(el);
            else
                el.dispatchEvent(new MouseEvent('click', {bubbles: true, cancelable: true}));
            clicked++;
        }
    }
    return clicked;
)JS";

QString wrap(const char *body, const QString &args = QStringLiteral("[]"))
{
    return QStringLiteral("(function (args) {'use strict';") + QString::fromUtf8(AccessorsScript)
           + QString::fromUtf8(body) + QStringLiteral("})(") + args + QStringLiteral(");");
}

} // namespace

namespace PageScripts {

QString snapshot()
{
    return wrap(SnapshotScript);
}

QString clickByText(const QString &tagName, const QString &needle)
{
    // JSON is valid JavaScript, so the arguments never need hand escaping.
    const QByteArray args = QJsonDocument(QJsonArray {tagName, needle}).toJson(QJsonDocument::Compact);
    return wrap(ClickByTextScript, QString::fromUtf8(args));
}

} // namespace PageScripts
